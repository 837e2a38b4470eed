#include "app/AppServices.h"

void RegisterEditCommands() {}
