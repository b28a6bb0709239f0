// Process-level waiting for the firmhand-sim program.
#pragma once

#include <functional>

// Blocks SIGINT, SIGTERM and SIGUSR1 in the calling thread and the threads
// it starts afterwards, so that WaitForStop can take them synchronously.
void SimBlockStopSignals();
// Waits for SIGINT or SIGTERM, or `seconds` (0: without limit); calls
// `onUser1` for each SIGUSR1 meanwhile. True when a signal ended the wait.
bool SimWaitForStop(double seconds, const std::function<void()>& onUser1 = {});
// Raises the process's descriptor limit to its hard limit: every camera
// holds about five sockets, so a fleet of a few hundred passes the usual
// soft limit of 1024.
void SimRaiseDescriptorLimit();
