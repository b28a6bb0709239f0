// Crash dumps. When the process dies of a fatal signal (segmentation fault,
// bus error, illegal instruction, floating-point error, abort) or through
// std::terminate, a text dump is left for a developer: the signal and fault
// address, the registers, a backtrace of the faulting thread, the memory map
// and the build's version. The process then ends with the signal as before.
//
// Files are named "<name>.<pid>.<yyyymmddhhmmss>.<mmm>.dmp" after the local
// time of the crash.
#pragma once

#include <cstddef>
#include <string>

// Installs the handlers (fatal signals on an alternate signal stack, and
// std::terminate). `name` starts every dump file name (empty: the
// executable's file name up to its first dot); `folder` receives the files
// (empty: the executable's folder, or "<per-user folder>/dumps" when that
// is not writable). Call once at start-up, right after the build-time log
// line. Always returns true.
bool InstallCrashDumpFilter(const std::string& name = {}, const std::string& folder = {});

// The debugger test: with a tracer attached nothing is written and the
// signal goes on. Tests replace it; a replacement must be async-signal-safe.
// Null restores the default.
using CrashTracerCheck = bool (*)();
void SetCrashDumpTracerCheck(CrashTracerCheck check);
// The default: "TracerPid" in /proc/self/status is not 0.
bool IsTracerAttached();

// The pieces of the file name and folder, for tests and tools.
std::string CrashDumpNameFromPath(const std::string& executablePath);
std::string CrashDumpFileName(const std::string& name, int pid, int year, int month, int day,
                              int hour, int minute, int second, int millisecond);
std::string ChooseCrashDumpFolder(const std::string& folder, const std::string& executableFolder);
// The "TracerPid" of a /proc/<pid>/status text; 0 when the field is absent.
long ParseTracerPid(const char* status, size_t length);
