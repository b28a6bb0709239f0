// Which queued camera of a rollout may start next when each model's first
// cameras go first (its canaries): a model's other cameras wait until every
// canary of it ended upgraded, and none of the model starts once one of
// them failed. Plain bookkeeping; the engine's coordinator keeps it under
// the run's lock.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/ResultCode.h"

class CCanarySchedule {
public:
    // `perModel` canaries per model (0: every camera is free to start);
    // `proven`: cameras per model an earlier run upgraded, which count as
    // passed canaries.
    CCanarySchedule(int perModel, std::map<std::string, int> proven);

    // Queues the next camera (index = queue order); true when it waits for
    // its model's canaries.
    bool Queue(const std::string& mac, const std::string& model);
    // A started camera's final result: a canary that ended anything but
    // upgraded (or already current) fails its model.
    void Ended(const std::string& mac, UpgradeResult code);

    struct Step {
        // Queued cameras of a model whose canary failed: they never start.
        std::vector<size_t> heldBack;
        // Waiting cameras whose canaries all passed since the last step.
        std::vector<size_t> released;
        // The first camera that may start, when starts are allowed.
        std::optional<size_t> start;

        bool Any() const { return !heldBack.empty() || !released.empty() || start.has_value(); }
    };
    // The next step for the cameras of `pending` (queue indexes, in order).
    Step Next(const std::vector<size_t>& pending, bool mayStart) const;
    // The released cameras' models were announced: not released again.
    void MarkReleased(const std::vector<size_t>& released);
    // Any camera was held back so far.
    bool AnyFailed() const { return !m_failed.empty(); }

private:
    bool Waits(const std::string& model) const;

    int m_perModel;
    std::map<std::string, int> m_picked;  // canaries per model, proven ones too
    std::vector<std::string> m_macs;      // by queue index
    std::vector<std::string> m_models;
    std::map<std::string, std::string> m_canaryModels;  // canary MAC -> model
    std::map<std::string, int> m_left;                  // canaries not yet upgraded
    std::set<std::string> m_failed;                     // models with a failed canary
    std::set<std::string> m_released;
};
