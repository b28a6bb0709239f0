// firmhand-cli scan: the cameras found, as a table or as JSON.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CliContext.h"
#include "TerminalSize.h"
#include "TextTable.h"
#include "model/DeviceSInfo.h"
#include "model/JsonText.h"

struct ScanOptions {
    double seconds = 3;
    std::vector<std::string> targets;
    std::string adapter;
    bool onlyTargets = false;  // list only the cameras at the targets
    bool json = false;
    std::string site;  // of the inventory; "" its default
};

// Exit status: 0 with the list printed; 1 when the search could not be
// started; 3 when it found no camera (saying where it looked); 130 when a
// stop signal came first.
int RunScan(const ScanOptions& options, const CliContext& context, std::ostream& out,
            std::ostream& err);

// The record as the list shows it: one table row, or its JSON object (see
// model/DeviceJson.h) with the activation text in the interface language.
std::vector<std::string> DeviceTableHeadings();
std::vector<std::string> DeviceTableRow(int index, const DEVICE_S_INFO& record);
// Fits the list to a terminal's width; as it is without one.
void FitDeviceTable(CTextTable& table, std::optional<TerminalSize> terminal);
CJsonObject DeviceJsonObject(const DEVICE_S_INFO& record);
std::string DeviceJson(const DEVICE_S_INFO& record);
