// Checks of the command line's values, made before any search starts. Each
// gives "" when the value is right, else one line saying what is wrong and
// what would be right.
#pragma once

#include <string>
#include <vector>

#include "model/ReportField.h"

// True when `text` ends in `tail` (longer than it), letters in any case:
// "R.JSON" is a JSON report.
bool EndsWithNoCase(const std::string& text, const std::string& tail);

// --seconds: a finite number of seconds in (0, 3600]; the value in `seconds`.
std::string CheckSeconds(const std::string& text, double& seconds);
// --target: a host name or dotted IPv4 address, optionally ":PORT" (1-65535).
std::string CheckTarget(const std::string& target);
// --set KEY=VALUE: a known key (else the nearest one is suggested) with a
// value of its type and range.
std::string CheckSetting(const std::string& key, const std::string& value);
// --adapter: "" (all adapters) or the name of one of the host's adapters.
std::string CheckAdapter(const std::string& adapter);
// --report: FILE.json, FILE.csv or FILE.html in a writable folder.
std::string CheckReportPath(const std::string& path);
// --site, --customer, --technician: CheckReportField (model/ReportField.h).

// A MAC of six hex pairs joined by ":" or "-" as CMacAddress prints it
// ("AA:BB:CC:DD:EE:FF"); "" when malformed.
std::string NormalMac(const std::string& mac);
// Every MAC normalised in place; the first malformed one refused.
std::string CheckMacs(std::vector<std::string>& macs);

// Edit distance without regard to case (for suggestions).
size_t EditDistance(const std::string& a, const std::string& b);
