#include "app/AppServices.h"

void RegisterTransferCommands() {}
