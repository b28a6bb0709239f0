#include "CliContext.h"

SESSION_OPTIONS CommandSessionOptions(const CliContext& context,
                                      const std::vector<std::string>& targets,
                                      const std::string& adapter) {
    SESSION_OPTIONS options = context.session;
    options.searchTargets.insert(options.searchTargets.end(), targets.begin(), targets.end());
    options.adapter = adapter;
    return options;
}
