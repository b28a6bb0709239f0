// --progress json: one JSON object per line on standard output for each
// event of a run, for programs that drive the CLI. The events:
//   {"event":"scan","cameras":N,"devices":[...]}       what the search found
//   {"event":"waiting","mac":...,"text":...}          named, not found yet (--wait-for-missing)
//   {"event":"queued","mac":...,"ip":...,"name":...}   the camera's job is ready
//   {"event":"started","mac":...,"attempt":N}          an attempt begins
//   {"event":"progress","mac":...,"percent":P,"text":...}
//   {"event":"result","mac":...,"code":C,"text":...,"status":...,"attempts":N,"seconds":S}
//   {"event":"paused","paused":true|false}            no further camera starts / go on
//   {"event":"batch-end","upgraded":N,"failed":N,"busy":N,"skipped":N,
//    "installing":N,"cancelled":N,"not-started":N}
#pragma once

#include <ostream>
#include <vector>

#include "UpgradeReport.h"
#include "model/DeviceSInfo.h"
#include "model/JsonText.h"

class CProgressEvents {
public:
    // Writes nothing when `out` is null.
    explicit CProgressEvents(std::ostream* out) : m_out(out) {}

    void Scan(const std::vector<DeviceInfoPtr>& devices);
    // Compares camera `changed` with what was last written of it and writes
    // the events that lead from there to its state now.
    void Update(const std::vector<CameraOutcome>& outcomes, size_t changed);
    void BatchEnd(const std::vector<CameraOutcome>& outcomes);
    void Paused(bool paused);

private:
    struct Written {
        bool waiting = false;
        bool queued = false;
        int attempts = 0;
        int percent = -1;
        std::string text;
        bool result = false;
    };

    void Write(const JsonValue& event);

    std::ostream* m_out;
    std::vector<Written> m_written;
};
