// File-system helpers that differ between systems: where the executable is,
// the per-user data folder, folder creation and atomic file replacement.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Full path of the running executable ("" when unknown).
std::string ExecutablePath();

// Folder of the running executable, without a trailing separator.
std::string ExecutableFolder();

// The process's current directory.
std::string CurrentDirectory();

// The per-user local application-data folder: $XDG_DATA_HOME, else
// $HOME/.local/share. "" when neither can be found.
std::string LocalAppDataFolder();

// The per-user state folder (logs of past runs and the like):
// $XDG_STATE_HOME, else $HOME/.local/state. "" when neither can be found.
std::string LocalStateFolder();

// The names of the regular files in a folder (not sorted); empty when it
// cannot be read.
std::vector<std::string> FolderFileNames(const std::string& folder);

// Joins a folder and a name with one separator.
std::string PathCombine(const std::string& folder, const std::string& name);

bool PathFileExists(const std::string& path);

// Creates the folder and its parents (mode 0700 for new folders).
bool CreateFolders(const std::string& path);

// Reads a whole file; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& content);

// Reads a file of at most `maxBytes`, growing the buffer as the bytes come
// (never reserving the limit up front). Unreadable, or larger than the limit
// (`tooLarge` set, `content` cleared): false.
bool ReadFileAtMost(const std::string& path, size_t maxBytes, std::string& content, bool& tooLarge);

// Replaces the file with `content` atomically: a temporary file in the same
// folder is written, flushed and renamed over the target. `mode` applies to
// the new file.
bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned mode);

// Writes a report the technician named: a pipe or a terminal already there
// (a program reading the report as it comes) is written into, opened without
// following a link; anything else is replaced as by WriteFileAtomic, 0644.
bool WriteReportFile(const std::string& path, const std::string& content);

// True when the folder accepts new files for this process.
bool IsFolderWritable(const std::string& folder);

}  // namespace platform
