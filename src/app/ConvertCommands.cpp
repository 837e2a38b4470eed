#include "app/AppServices.h"

void RegisterConvertCommands() {}
