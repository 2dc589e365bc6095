// Bringing the three-way effect up in a host, the way a video editor does before it shows the
// control panel, for every tool that hosts the module (the command-line tool and the frei0r
// plug-in): the registration resource read from the file and checked, the module loaded, global
// and parameter set-up, the declared panel checked against the catalogue (a loadable file with an
// entry point `main` can still be another effect, and every value would then land in the wrong
// place), and optionally sequence set-up. Failures are worded one way for every tool.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace threeway::host {

struct BringUp {
  bool ok = false;
  bool globalSetUp = false;  // global set-up succeeded: the caller owes a global set-down
  std::string error;         // one line, when !ok
};

BringUp BringUpEffect(Host& host, const std::string& modulePath, bool withSequence);

// "<step> failed (code N)", then what the code means to the host or the message the module asked
// the host to show, when there is one.
std::string CommandFailure(const Host& host, const std::string& step, std::int32_t code);

}  // namespace threeway::host
