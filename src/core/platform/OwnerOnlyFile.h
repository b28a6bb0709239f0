// Files that hold secrets must be the user's alone: owned by the user who
// runs the program and neither readable nor writable by group or others.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// "" when `path` is a regular file owned by this user with no group or
// other permission bits; else why not, naming the file and the fix.
std::string OwnerOnlyFileProblem(const std::string& path);

// Reads a file of this user alone, opened once (a link is refused) and
// checked on that descriptor, so nothing can be swapped in between: "" with
// `content`, or the problem as OwnerOnlyFileProblem words it. A file longer
// than `maxBytes` is refused.
std::string ReadOwnerOnlyFile(const std::string& path, size_t maxBytes, std::string& content);

// Longest settings file that ReadTrustedFile reads.
constexpr size_t kMaxTrustedFileBytes = 1 << 20;

// Reads a file that no other user can have written: a regular file owned by
// this user or root, not writable by group or others, at most
// kMaxTrustedFileBytes. The checks are made on the opened descriptor, so the
// file cannot be swapped between them and the read. False when the file is
// missing (`problem` empty) or fails a check (`problem` names the file and why).
bool ReadTrustedFile(const std::string& path, std::string& content, std::string& problem);

}  // namespace platform
