// What every front-end does first: start the log, write the build-time line,
// choose the interface language.
#pragma once

#include <string>

// `logBaseName` names the log file ("firmhand", "firmhand-cli").
void InitApplication(const std::string& logBaseName);

// "Batch Firmhand v" + product version, the main window's title.
std::string MainWindowTitle();
