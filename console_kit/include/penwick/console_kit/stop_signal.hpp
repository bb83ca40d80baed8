// Ctrl-C (SIGINT) and SIGTERM as a request to stop, for programs that must end a transfer
// cleanly rather than die in the middle of it. The first signal is recorded and wakes
// waiters; a second one ends the process at once with the "cancelled" exit status.
#pragma once

#include <chrono>

namespace pw::cli {

// Installs the handlers for the whole process (again: no effect).
void InstallStopSignals();
// The signal that asked to stop (SIGINT or SIGTERM), or 0.
int StopSignal();
// Waits until a stop is requested or `timeout` passes; true when a stop was requested.
bool WaitForStop(std::chrono::milliseconds timeout);
// How people call the stop request `signal` (a StopSignal() value): "Ctrl-C", "SIGTERM".
const char* StopSignalName(int signal);
// A descriptor that becomes readable once a stop is requested (for poll loops); -1 before
// InstallStopSignals.
int StopSignalFd();

}  // namespace pw::cli
