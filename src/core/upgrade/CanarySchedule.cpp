#include "upgrade/CanarySchedule.h"

#include <utility>

#include "model/ResultCode.h"

CCanarySchedule::CCanarySchedule(int perModel, std::map<std::string, int> proven)
    : m_perModel(perModel), m_picked(std::move(proven)) {}

bool CCanarySchedule::Queue(const std::string& mac, const std::string& model) {
    m_macs.push_back(mac);
    m_models.push_back(model);
    if (m_perModel <= 0) {
        return false;
    }
    if (int& picked = m_picked[model]; picked < m_perModel) {
        ++picked;
        m_canaryModels[mac] = model;
        ++m_left[model];
        return false;
    }
    return Waits(model);
}

void CCanarySchedule::Ended(const std::string& mac, UpgradeResult code) {
    const auto it = m_canaryModels.find(mac);
    if (it == m_canaryModels.end()) {
        return;
    }
    if (code == UpgradeResult::Ok || code == UpgradeResult::AlreadyCurrent) {
        --m_left[it->second];
    } else {
        m_failed.insert(it->second);
    }
}

bool CCanarySchedule::Waits(const std::string& model) const {
    const auto left = m_left.find(model);
    return left != m_left.end() && left->second > 0;
}

CCanarySchedule::Step CCanarySchedule::Next(const std::vector<size_t>& pending,
                                            bool mayStart) const {
    Step step;
    for (size_t i : pending) {
        const std::string& model = m_models[i];
        if (m_failed.count(model) != 0) {
            step.heldBack.push_back(i);
        } else if (m_left.count(model) != 0 && !Waits(model) && m_released.count(model) == 0) {
            step.released.push_back(i);
        }
    }
    if (!step.heldBack.empty() || !step.released.empty() || !mayStart) {
        return step;
    }
    for (size_t i : pending) {
        if (m_canaryModels.count(m_macs[i]) != 0 || !Waits(m_models[i])) {
            step.start = i;
            break;
        }
    }
    return step;
}

void CCanarySchedule::MarkReleased(const std::vector<size_t>& released) {
    for (size_t i : released) {
        m_released.insert(m_models[i]);
    }
}
