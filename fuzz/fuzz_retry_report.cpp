// A report handed to `firmhand-cli upgrade --retry-failed`, written by an
// earlier run, edited by hand or cut short: refused with a reason or read
// into the failed cameras' MACs, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "RolloutInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CFuzzFile file;
    std::vector<std::string> macs;
    const std::string problem = FailedCamerasOfReport(file.Write(data, size), macs);
    if (problem.empty() && macs.size() > size / 8) {
        std::abort();  // every MAC came from a row of its own
    }
    return 0;
}
