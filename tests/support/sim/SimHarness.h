// CTempComDir moved to the test harness; this name stays until every test
// includes TempCwd_support.h.
#pragma once

#include "TempCwd_support.h"
