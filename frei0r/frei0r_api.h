// The frei0r API header, with C linkage for its functions (the header itself has no C++ guard).
#pragma once

extern "C" {
#include <frei0r.h>
}
