#include "InventoryCommand.h"

#include <chrono>
#include <ostream>
#include <vector>

#include "TextTable.h"
#include "model/JsonText.h"
#include "model/SafeText.h"
#include "model/UtcTime.h"
#include "session/SessionInventory.h"

namespace {

// Opens the database to read, or says in one line why not and sets
// `status`: 2 for a --site it does not hold (a missing database holds
// none), 0 for a missing one without --site (nothing to list), else 1.
std::unique_ptr<CInventory> OpenForReading(const std::string& path, const std::string& site,
                                           const char* command, std::ostream& err, int& status) {
    std::string error;
    bool nothingYet = false;
    auto inventory =
        CInventory::Open(path, InventoryAccess::Read, error, kInventoryBusyMs, &nothingYet);
    const std::string prefix = std::string("firmhand-cli ") + command + ": ";
    if (!inventory) {
        if (nothingYet && !site.empty()) {
            err << prefix << "unknown site \"" << VisibleText(site) << "\" (" << error << ")\n";
            status = 2;
        } else {
            err << prefix << error << "\n";
            status = nothingYet ? 0 : 1;
        }
        return nullptr;
    }
    if (!site.empty() && !inventory->HasSite(site, error)) {
        if (error.empty()) {
            err << prefix << "unknown site \"" << VisibleText(site) << "\" in " << VisibleText(path)
                << "\n";
            status = 2;
        } else {
            err << prefix << error << "\n";
            status = 1;
        }
        return nullptr;
    }
    return inventory;
}

std::string IsoMs(int64_t ms) {
    return ms == 0 ? std::string()
                   : IsoUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
}

CJsonObject CameraJson(const INVENTORY_CAMERA& c) {
    JsonValue versions = JsonValue::array();
    for (const SEEN_VERSION& v : c.versions) {
        versions.push_back(CJsonObject()
                               .Add("version", v.version)
                               .Add("build", v.build)
                               .Add("firstSeen", IsoMs(v.firstSeen))
                               .Add("lastSeen", IsoMs(v.lastSeen))
                               .Value());
    }
    CJsonObject object;
    object.Add("site", c.site)
        .Add("mac", c.mac)
        .Add("name", c.name)
        .Add("model", c.model)
        .Add("ip", c.ip)
        .Add("ip2", c.ip2)
        .Add("version", c.version)
        .Add("build", c.build)
        .Add("firstSeen", IsoMs(c.firstSeen))
        .Add("lastSeen", IsoMs(c.lastSeen))
        .Add("versions", versions);
    return object;
}

CJsonObject StepJson(const INVENTORY_STEP& row) {
    const UPGRADE_STEP& s = row.step;
    CJsonObject object;
    object.Add("site", row.site)
        .Add("mac", s.mac)
        .Add("name", s.name)
        .Add("model", s.model)
        .Add("run", s.runId)
        .Add("journal", s.journal)
        .Add("package", s.packageName)
        .Add("sha256", s.packageSha256)
        .Add("fromVersion", s.fromVersion)
        .Add("toVersion", s.toVersion)
        .Add("code", s.result)
        .Add("result", s.resultText)
        .Add("step", s.step)
        .Add("attempts", s.attempts)
        .Add("started", IsoMs(s.startedAt))
        .Add("ended", IsoMs(s.endedAt));
    return object;
}

// Where a path's step goes in the history table, after the result.
constexpr size_t kHistoryStepColumn = 8;

// The history table's columns; the step column only when a row has a step.
// On a narrow terminal the camera, its versions, the result and the step
// stay; the package's details, the model, the site and the time give way,
// right to left.
CTextTable HistoryTable(bool withStep, size_t columns) {
    std::vector<std::string> headings{"Started", "Site",   "MAC",      "Name",    "Model",   "From",
                                      "To",      "Result", "Attempts", "Package", "SHA-256", "Run"};
    if (withStep) {
        headings.insert(headings.begin() + kHistoryStepColumn, "Step");
    }
    const size_t shift = withStep ? 1 : 0;
    CTextTable table(std::move(headings));
    if (columns > 0) {
        table.SetMaxWidth(columns);
        table.SetNarrowGapWhenTight();
        table.SetFit(3, CTextTable::Fit::Shrink);  // name
        for (const size_t drops :
             {size_t{0}, size_t{1}, size_t{4}, 8 + shift, 9 + shift, 10 + shift, 11 + shift}) {
            table.SetFit(drops, CTextTable::Fit::Drop);
        }
    }
    return table;
}

}  // namespace

std::string InventoryPathOf(const std::string& option) {
    return option.empty() ? DefaultInventoryPath() : option;
}

std::string CheckSiteOption(const std::string& site) {
    const std::string problem = inventory::CheckSiteName(site);
    return problem.empty() ? "" : "--site: " + problem;
}

int RunHistory(const HistoryOptions& options, const std::string& path, std::ostream& out,
               std::ostream& err, size_t columns) {
    int status = 0;
    const auto inventory = OpenForReading(path, options.site, "history", err, status);
    if (!inventory) {
        return status;
    }
    std::vector<INVENTORY_STEP> steps;
    std::string error;
    if (!inventory->Steps(options.site, options.mac, steps, error)) {
        err << "firmhand-cli history: " << error << "\n";
        return 1;
    }
    if (options.json) {
        std::vector<std::string> items;
        for (const INVENTORY_STEP& row : steps) {
            items.push_back(StepJson(row).Text());
        }
        out << JsonArray(items) << "\n";
        return 0;
    }
    if (steps.empty()) {
        err << "firmhand-cli history: no upgrade step recorded"
            << (options.mac.empty() ? "" : " for " + options.mac) << "\n";
        return 0;
    }
    bool anyPath = false;
    for (const INVENTORY_STEP& step : steps) {
        anyPath = anyPath || step.step.step > 0;
    }
    CTextTable table = HistoryTable(anyPath, columns);
    for (const INVENTORY_STEP& step : steps) {
        const STEP_ROW r = StepRow(step);
        std::vector<std::string> cells{r.started,
                                       r.site,
                                       r.mac,
                                       r.name,
                                       r.model,
                                       r.from,
                                       r.to,
                                       r.result,
                                       r.attempts,
                                       r.package,
                                       r.sha256.substr(0, 12),
                                       r.run};
        if (anyPath) {
            cells.insert(cells.begin() + kHistoryStepColumn, r.step);
        }
        table.AddRow(std::move(cells));
    }
    table.Print(out);
    return 0;
}

int RunInventory(const InventoryOptions& options, const std::string& path, std::ostream& out,
                 std::ostream& err, size_t columns) {
    int status = 0;
    const auto inventory = OpenForReading(path, options.site, "inventory", err, status);
    if (!inventory) {
        return status;
    }
    std::vector<INVENTORY_CAMERA> cameras;
    std::string error;
    if (!inventory->Cameras(options.site, options.olderThan, cameras, error)) {
        err << "firmhand-cli inventory: " << error << "\n";
        return 1;
    }
    if (options.json) {
        std::vector<std::string> items;
        for (const INVENTORY_CAMERA& c : cameras) {
            items.push_back(CameraJson(c).Text());
        }
        out << JsonArray(items) << "\n";
        return 0;
    }
    if (options.csv) {
        out << "site,mac,name,model,ip,ip2,version,build,first_seen,last_seen,versions_seen\n";
        for (const INVENTORY_CAMERA& c : cameras) {
            out << CsvField(c.site) << ',' << CsvField(c.mac) << ',' << CsvField(c.name) << ','
                << CsvField(c.model) << ',' << CsvField(c.ip) << ',' << CsvField(c.ip2) << ','
                << CsvField(c.version) << ',' << c.build << ',' << IsoMs(c.firstSeen) << ','
                << IsoMs(c.lastSeen) << ',' << CsvField(SeenVersionsText(c.versions)) << "\n";
        }
        return 0;
    }
    if (cameras.empty()) {
        err << "firmhand-cli inventory: no camera recorded"
            << (options.olderThan.empty() ? "" : " older than " + options.olderThan) << "\n";
        return 0;
    }
    CTextTable table({"Site", "MAC", "Name", "Model", "IP", "Version", "First seen", "Last seen",
                      "Versions seen"});
    if (columns > 0) {
        table.SetMaxWidth(columns);
        table.SetNarrowGapWhenTight();
        // The camera, its address and its version stay; the site, the
        // times and the versions seen give way, right to left.
        for (const size_t shrinks : {2, 3}) {  // name, model
            table.SetFit(shrinks, CTextTable::Fit::Shrink);
        }
        for (const size_t drops : {0, 6, 7, 8}) {
            table.SetFit(drops, CTextTable::Fit::Drop);
        }
    }
    for (const INVENTORY_CAMERA& camera : cameras) {
        const CAMERA_ROW r = CameraRow(camera);
        table.AddRow({r.site, r.mac, r.name, r.model, r.ip, r.version, r.firstSeen, r.lastSeen,
                      r.versionsSeen});
    }
    table.Print(out);
    return 0;
}
