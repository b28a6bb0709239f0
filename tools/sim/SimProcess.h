// Process-level waiting for the firmhand-sim program.
#pragma once

// Blocks SIGINT and SIGTERM in the calling thread and the threads it starts
// afterwards, so that WaitForStop can take them synchronously.
void SimBlockStopSignals();
// Waits for SIGINT or SIGTERM, or `seconds` (0: without limit). True when a
// signal ended the wait.
bool SimWaitForStop(double seconds);
