#include "inventory/InventoryRows.h"

#include "model/UtcTime.h"

std::string VersionWithBuild(const std::string& version, int32_t build) {
    return build != 0 ? version + "(" + std::to_string(build) + ")" : version;
}

std::string SeenVersionsText(const std::vector<SEEN_VERSION>& versions) {
    std::string text;
    for (const SEEN_VERSION& v : versions) {
        text += (text.empty() ? "" : ", ") + VersionWithBuild(v.version, v.build);
    }
    return text;
}

STEP_ROW StepRow(const INVENTORY_STEP& row) {
    const UPGRADE_STEP& s = row.step;
    return STEP_ROW{UtcText(s.startedAt != 0 ? s.startedAt : s.endedAt),
                    UtcText(s.endedAt),
                    row.site,
                    s.mac,
                    s.name,
                    s.model,
                    s.fromVersion,
                    s.toVersion,
                    s.resultText,
                    std::to_string(s.attempts),
                    s.packageName,
                    s.packageSha256,
                    s.runId,
                    s.step > 0 ? std::to_string(s.step) : std::string()};
}

CAMERA_ROW CameraRow(const INVENTORY_CAMERA& c) {
    return CAMERA_ROW{c.site,
                      c.mac,
                      c.name,
                      c.model,
                      c.ip,
                      c.ip2,
                      VersionWithBuild(c.version, c.build),
                      UtcText(c.firstSeen),
                      UtcText(c.lastSeen),
                      SeenVersionsText(c.versions)};
}

SEEN_VERSION_ROW SeenVersionRow(const SEEN_VERSION& v) {
    return SEEN_VERSION_ROW{VersionWithBuild(v.version, v.build), UtcText(v.firstSeen),
                            UtcText(v.lastSeen)};
}
