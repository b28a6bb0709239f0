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
        .Add("attempts", s.attempts)
        .Add("started", IsoMs(s.startedAt))
        .Add("ended", IsoMs(s.endedAt));
    return object;
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
               std::ostream& err) {
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
    CTextTable table({"Started", "Site", "MAC", "Name", "Model", "From", "To", "Result", "Attempts",
                      "Package", "SHA-256", "Run"});
    for (const INVENTORY_STEP& step : steps) {
        const STEP_ROW r = StepRow(step);
        table.AddRow({r.started, r.site, r.mac, r.name, r.model, r.from, r.to, r.result, r.attempts,
                      r.package, r.sha256.substr(0, 12), r.run});
    }
    table.Print(out);
    return 0;
}

int RunInventory(const InventoryOptions& options, const std::string& path, std::ostream& out,
                 std::ostream& err) {
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
    for (const INVENTORY_CAMERA& camera : cameras) {
        const CAMERA_ROW r = CameraRow(camera);
        table.AddRow({r.site, r.mac, r.name, r.model, r.ip, r.version, r.firstSeen, r.lastSeen,
                      r.versionsSeen});
    }
    table.Print(out);
    return 0;
}
