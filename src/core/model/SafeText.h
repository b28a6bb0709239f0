// Text that came from a camera (its name, model, versions, messages) made
// safe where it leaves the program: on a terminal a control character can
// set the title, the colours or move the cursor, in a log or a table it can
// forge or break lines, and in a spreadsheet a leading "=" starts a formula.
#pragma once

#include <string>
#include <string_view>

// The text with every control character shown as a visible escape: C0
// (U+0000..U+001F) and DEL as "\xHH", C1 (U+0080..U+009F) and the
// direction overrides (U+202A..U+202E, U+2066..U+2069) as "\uHHHH", and
// bytes that are no UTF-8 as "\xHH". Other text, backslashes included,
// stays as it is.
std::string VisibleText(std::string_view text);

// One CSV field: VisibleText, a "'" before a first character that a
// spreadsheet takes for a formula ("=", "+", "-", "@", TAB or CR), quoted
// when it holds a comma or a quote.
std::string CsvCell(std::string_view text);
