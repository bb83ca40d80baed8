// Why a run was ended from outside the window, for every front end: a stop signal, or no
// transfer begun within --timeout. And how long closing waits for a cancelled USB session.
#pragma once

#include <chrono>

#include "outcome.h"

namespace app {

// How long a cancelled USB session may take to report before the program ends anyway.
inline constexpr std::chrono::seconds kSessionEndWait{5};

// SIGINT (Ctrl-C) or SIGTERM.
Outcome StoppedBy(int signal);
// No transfer began within `seconds` of the end of start-up; `usb` selects the advice.
Outcome TimedOut(double seconds, bool usb);

}  // namespace app
