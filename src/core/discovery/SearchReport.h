// Reading a search report (the "multicastSearchResult" XML text) into a
// device record.
#pragma once

#include <memory>
#include <string>

#include "model/DeviceSInfo.h"
#include "xml/MarkupSTL.h"

// The series filter: a report passes unless it has "productInfo" /
// "productSeries" and that text does not contain "KMR_IPC".
constexpr const char* kSeriesMark = "KMR_IPC";

enum class ReportCheck {
    Accepted,
    NoRoot,       // no "multicastSearchResult" root: dropped
    OtherSeries,  // another maker's product series: dropped
};

// Checks the root and the series. On Accepted the cursor stands inside the
// root, before its first child. `series` receives the series text read.
ReportCheck CheckSearchReport(CMarkupSTL& xml, std::string& series);

// Fills a zero-filled record from an accepted report (cursor inside the
// root): the MAC text given, addresses of the first two "item"s, ports, and
// the product fields; texts cut to their limits, `build` -1 when absent.
std::unique_ptr<DEVICE_S_INFO> ReadDeviceInfo(CMarkupSTL& xml, const std::string& mac);
