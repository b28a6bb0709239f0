// The journal of a rollout: one file per run under the user's state folder,
// one JSON object per line, each line on the disk before the step it
// announces is taken. A run killed at any instant can be read back and
// resumed: what each camera had reached is in its last line. The order of
// the lines, never their time stamps, says which step came last. The
// process that drives a run holds the file's lock (flock) as long as it
// does; a run whose lock is held is running and is never resumed.
//
//   {"event":"run","id":...,"t":...,"packages":[{"model":"","path":...}]}
//   {"event":"camera","mac":...,"ip":...,...,"package":...}   one per camera
//   {"event":"camera","mac":...,"awaited":true,"t":...}   a camera the run
//        waits for, named but not found yet; once the search finds it, a
//        "camera" line with its record (and package) follows
//   {"event":"wait","seconds":N,"text":"10m","deadline":...,"t":...}   the
//        run waits for its awaited cameras until `deadline` (ms since the
//        epoch); written again by each process that waits again
//   {"event":"started","mac":...,"softwareVer":...,"build":N,"t":...}
//   {"event":"queued"|"verifying"|"last-block","mac":...,"t":...}
//   {"event":"result","mac":...,"code":N,"t":...}
//   {"event":"step","mac":...,"step":K,"of":N,"package":...,"t":...}
//       an upgrade path's step K (1 to N) of the camera begins; the lines
//       up to the next "step" or "passed" are that step's
//   {"event":"passed","mac":...,"softwareVer":...,"build":N,"t":...}
//       that step was verified: the camera came back with this version
//       (it is no longer flashing); the next step may start. The last
//       step ends with "result" like a camera without a path.
//   {"event":"canary","count":N,"t":...}   the run's canary rule, when on
//   {"event":"resumed","t":...}   a later process continues the run
//   {"event":"end","t":...}
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/DeviceSInfo.h"
#include "model/HtmlReport.h"
#include "platform/FileLock.h"
#include "platform/SyncedFile.h"
#include "upgrade/RolloutPlan.h"

// One step of a camera's upgrade path.
struct JOURNAL_STEP {
    int number = 0;  // 1 to `of`
    int of = 0;
    std::string package;
    std::string fromVersion;  // when its first transfer started
    int32_t fromBuild = 0;
    std::string toVersion;  // once "passed"
    int32_t toBuild = 0;
    std::optional<UpgradeResult> code;  // Ok once passed; the camera's result for its last step
    int attempts = 0;
    int64_t startedAt = 0;
    int64_t endedAt = 0;
};

// What the journal knows of one camera.
struct JOURNAL_CAMERA {
    std::string mac;
    std::string ip;
    std::string ip2;
    std::string model;
    std::string name;
    std::string softwareVer;  // the version before the run
    int32_t build = 0;
    // The version the camera showed when its last transfer started, when
    // that line carries one: what a resumed run verifies against.
    bool hasVersionAtStart = false;
    std::string softwareVerAtStart;
    int32_t buildAtStart = 0;
    int32_t dataPort = 0;
    int32_t httpPort = 0;
    std::string package;  // the file it gets, "" when skipped
    std::string state;    // the last step: queued, started, verifying, last-block, result
    std::optional<UpgradeResult> code;  // its final result once state is "result"
    int attempts = 0;                   // "started" lines
    int64_t queuedAt = 0;               // ms since the epoch; 0 when not reached
    int64_t startedAt = 0;
    int64_t lastBlockAt = 0;
    int64_t endedAt = 0;
    // Line numbers of the camera's last "started" and "last-block" lines.
    int startedLine = 0;
    int lastBlockLine = 0;
    // The steps of its upgrade path begun so far; empty without a path.
    std::vector<JOURNAL_STEP> steps;
    // Named for the run to wait for and not found by the search (yet): only
    // its MAC is known.
    bool awaited = false;

    bool HasResult() const { return state == "result"; }
    // Finished for good: a result other than "Cancelled" and "Not started"
    // (those a resumed run takes up again).
    bool Done() const;
    // The last block may have reached the camera and no later transfer
    // started: a resumed run must not send it the package again before it
    // has seen the camera come back with its old version.
    bool MayBeFlashing() const { return !Done() && lastBlockLine > startedLine; }
};

struct RunSummary {
    std::string path;
    std::string id;
    int64_t startedAt = 0;
    int64_t endedAt = 0;  // 0 while unfinished
    std::vector<BatchPackage> packages;
    std::vector<JOURNAL_CAMERA> cameras;
    // Canaries per model of the run's rule (the last "canary" line); 0: off.
    int canary = 0;
    // How long the run waits for its awaited cameras (the last "wait"
    // line): the time in seconds, as given, and when the wait ends.
    int waitSeconds = 0;
    std::string waitText;
    int64_t waitDeadline = 0;
    // Another process (or another batch of this one) drives the run now.
    bool running = false;

    bool Finished() const { return endedAt != 0; }
    const JOURNAL_CAMERA* Find(const std::string& mac) const;
    int Upgraded() const;
    int Skipped() const;
    int Failed() const;
    int Open() const;  // not Done
};

// The run as the HTML report draws it: its times, packages and lanes.
ReportRun ReportRunOf(const RunSummary& run);

class CRunJournal {
public:
    // Starts the journal of a new run in `folder` (created when missing).
    static std::unique_ptr<CRunJournal> Create(const std::string& folder,
                                               const std::vector<BatchPackage>& packages,
                                               std::string& error);
    // Takes over the journal of an earlier run: takes its lock and cuts a
    // torn last line, which counts as never written. Null with `error`;
    // `busy` when another process drives the run.
    static std::unique_ptr<CRunJournal> Resume(const std::string& path, std::string& error,
                                               bool& busy);

    const std::string& Path() const { return m_path; }

    // Each writes and syncs one line; false (logged) when it could not.
    bool Camera(const DEVICE_S_INFO& record, const std::string& packagePath);
    // A camera the run waits for, before the search found it.
    bool Awaited(const std::string& mac);
    // The run waits `seconds` (given as `text`) from now for its awaited cameras.
    bool Wait(int seconds, const std::string& text);
    bool Step(const std::string& mac, const char* event);
    // "started", with the version the transfer starts from.
    bool Started(const DEVICE_S_INFO& record);
    bool Result(const std::string& mac, UpgradeResult code);
    // An upgrade path's step `number` of `of` begins with `packagePath`.
    bool PathStep(const std::string& mac, int number, int of, const std::string& packagePath);
    // The step was verified: the camera is back with `record`'s version.
    bool Passed(const DEVICE_S_INFO& record);
    bool End();
    // The "resumed" line: this process continues the run.
    bool Resumed();
    // The "canary" line: the run's canaries per model (a resumed run keeps it).
    bool Canary(int count);

    // Between Hold and Flush the lines of the calling thread wait in
    // memory; Flush writes them with one sync (other threads' lines go out
    // at once, as always). For the lines of many cameras at once, at the
    // start or the stop of a run: the caller takes none of their steps
    // before Flush returns.
    void Hold();
    bool Flush();

    // Tests: a line for which `fails` holds does not reach the disk, as on
    // a full or read-only one; the call that writes it returns false.
    void SetWriteFault(std::function<bool(const std::string& line)> fails);

private:
    CRunJournal(std::string path, std::unique_ptr<platform::CFileLock> lock,
                std::unique_ptr<platform::CSyncedFile> file)
        : m_path(std::move(path)), m_lock(std::move(lock)), m_file(std::move(file)) {}
    bool Append(const std::string& line);

    std::string m_path;
    std::unique_ptr<platform::CFileLock> m_lock;  // the run is ours while held
    std::mutex m_mutex;
    std::unique_ptr<platform::CSyncedFile> m_file;
    std::optional<std::thread::id> m_holder;
    std::string m_heldLines;  // joined by '\n', without the last one
    std::function<bool(const std::string& line)> m_writeFault;
};

// Reads a journal. A torn last line (a kill during its write) is ignored;
// any other bad line (a "result" whose code is no final result among them)
// makes the journal unreadable: false with `error` naming the line.
bool ReadRunJournal(const std::string& path, RunSummary& run, std::string& error);

struct RunListing {
    RunSummary run;
    std::string problem;  // "" when readable
};
// Every journal of the folder, newest first, each marked running when its
// lock is held.
std::vector<RunListing> ListRuns(const std::string& folder);

// A record to start from for a camera the search has not (yet) found: its
// addresses and its version before the run.
DeviceInfoPtr RecordFromJournal(const JOURNAL_CAMERA& camera);
