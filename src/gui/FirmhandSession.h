// The program's run is CFirmhandApp; main.cpp still includes it by this
// name.
#pragma once

#include "FirmhandApp.h"
