// The report a technician hands over: one self-contained HTML page (no
// external file, no script) with the site's summary, a table of every
// camera and an SVG timeline drawn from the run's journal, one lane per
// camera: queued, transfer, flashing and reboot, then verified or failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/BatchPackage.h"
#include "model/CameraOutcome.h"

// What identifies a package file in a report handed over: its name, size
// and SHA-256, read when the batch starts (the file the cameras got).
struct PackageFacts {
    std::string model;  // "" for every camera
    std::string path;
    std::string name;    // without its folder
    uint64_t bytes = 0;  // 0 with `sha256` "" when it could not be read
    std::string sha256;  // lower-case hexadecimal
};

// One camera's lane of the timeline, as the run's journal has it. Times
// are ms since the epoch, 0 when not reached.
struct TimelineLane {
    std::string mac;
    std::string name;
    int64_t queuedAt = 0;
    int64_t startedAt = 0;
    int64_t lastBlockAt = 0;
    int64_t endedAt = 0;
    bool hasResult = false;
    std::optional<UpgradeResult> code;
};

// The run as its journal tells it; all empty without a journal.
struct ReportRun {
    int64_t startedAt = 0;
    int64_t endedAt = 0;  // 0 while unfinished
    std::vector<BatchPackage> packages;
    std::vector<TimelineLane> lanes;
};

// Who the work was done for and with what: typed by the technician, left
// out of the page when empty.
struct ReportHeader {
    std::string site;
    std::string customer;
    std::string technician;
    // Name, size and SHA-256 of each package; when empty the run's package
    // paths are listed instead.
    std::vector<PackageFacts> packages;
};

// The page's text. `run` may be empty (no journal): the timeline is left out.
std::string HtmlReportText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words,
                           const ReportRun& run, const ReportHeader& header = {});
