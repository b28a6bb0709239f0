// A run journal as a crash, a full disk or a hand can leave it (torn,
// reordered or huge lines): read back whole or refused with the line named,
// and what it says of its cameras adds up.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "upgrade/RunJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CFuzzFile file;
    RunSummary run;
    std::string error;
    if (!ReadRunJournal(file.Write(data, size), run, error)) {
        if (error.empty()) {
            std::abort();  // a refusal says why
        }
        return 0;
    }
    const int cameras = static_cast<int>(run.cameras.size());
    if (run.Upgraded() + run.Skipped() + run.Failed() > cameras || run.Open() > cameras) {
        std::abort();
    }
    for (const JOURNAL_CAMERA& camera : run.cameras) {
        if (run.Find(camera.mac) == nullptr) {
            std::abort();
        }
    }
    return 0;
}
