// Words the parser did not take ("scna", "--pakage"), each named in the
// order typed with the nearest command or option of the command line.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// `words` as the parser left them over, for `app` (the command that
// failed, or the program). "unknown command "scna"; did you mean "scan"?"
// for each, joined by "; ".
std::string UnknownWordsText(const CLI::App& app, const std::vector<std::string>& words);

// The candidate nearest to `word` when it is near enough to be a typo of
// it, else "".
std::string NearestWord(const std::string& word, const std::vector<std::string>& candidates);
