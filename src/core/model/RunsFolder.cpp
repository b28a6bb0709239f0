#include "model/RunsFolder.h"

std::string RunsFolderOf(const std::string& chosen, const std::string& stateFolder) {
    if (!chosen.empty()) {
        return chosen;
    }
    if (stateFolder.empty()) {
        return {};
    }
    return stateFolder + (stateFolder.back() == '/' ? "" : "/") + "firmhand/runs";
}
