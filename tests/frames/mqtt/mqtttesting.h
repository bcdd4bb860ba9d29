// The broker and recorder moved to tests/support; this name stays until the unit tests here include
// that header themselves.
#pragma once

#include "tests/support/mqtttesting.h"
