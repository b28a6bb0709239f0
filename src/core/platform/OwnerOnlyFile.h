// Files that hold secrets must be the user's alone: owned by the user who
// runs the program and neither readable nor writable by group or others.
#pragma once

#include <string>

namespace platform {

// "" when `path` is a regular file owned by this user with no group or
// other permission bits; else why not, naming the file and the fix.
std::string OwnerOnlyFileProblem(const std::string& path);

}  // namespace platform
