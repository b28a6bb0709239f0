// Runs the exit stops (ExitStops.h) before Qt ends the process on its own.
//
// Qt's xcb platform plugin, when the X connection breaks, prints
// "The X11 connection broke ..." and calls exit(1) on the window thread.
// exit() destroys the statics, Qt's (the paint engines) and ours (the log),
// while our threads would go on using them. The guard is a Qt message
// handler that, on that message, runs the exit stops and then passes the
// message on to the handler that was in place before; Qt's exit() follows.
//
// For any other way to exit() it also runs the stops from a std::atexit
// handler. That one comes after the destructors of the statics made after the
// guard was installed, so it protects only those made before: install first
// thing at start-up. A message handler installed later must chain to this one.
#pragma once

// Installs the message handler and the atexit handler once; later calls do
// nothing.
void InstallQtExitGuard();
