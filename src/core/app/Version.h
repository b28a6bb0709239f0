// Version numbers and names of the running program.
#pragma once

#include <cstdint>
#include <string>

// The executable's file name without folder and without its last extension.
std::string GetModuleBaseName();
// The same cut applied to any path ("a/b/a.b.exe" gives "a.b").
std::string BaseNameOfPath(const std::string& path);

// The base name of both settings files and of the log. The GUI and the CLI
// share it so that one file configures both.
const char* GetSettingsBaseName();

// The product version: major, minor, build, revision in 16-bit fields from
// the top of the 64-bit value.
uint64_t GetModuleVersionNumber();
uint64_t MakeVersionNumber(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision);

// "%d.%d.%d.%d" of the four fields; "" for 0.
std::string VersionToString(uint64_t version);

// Build date as "Mmm dd yyyy" (day padded with a blank) and time "hh:mm:ss".
const char* BuildDateText();
const char* BuildTimeText();
