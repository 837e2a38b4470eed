#include "app/AppServices.h"

void RegisterLinkCommands() {}
