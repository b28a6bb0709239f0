#include "discovery/SearchTable.h"

#include "model/MacAddress.h"

CSearchTable::Outcome CSearchTable::OnReply(const std::string& mac, const std::string& bootId,
                                            const std::string& text, std::string& reportMac) {
    const std::string key = MacKey(mac);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_entries.size() >= m_maxEntries) {
            return Outcome::Full;
        }
        Entry entry;
        entry.mac = mac;
        entry.bootId = bootId;
        entry.text = text;
        reportMac = mac;
        m_entries.emplace(key, std::move(entry));
        return Outcome::Found;
    }
    Entry& entry = it->second;
    entry.replied = true;
    entry.silentRounds = 0;
    reportMac = entry.mac;
    if (entry.bootId != bootId) {
        entry.bootId = bootId;
        entry.text = text;
        return Outcome::Found;
    }
    if (entry.text != text) {
        entry.text = text;
        return Outcome::Changed;
    }
    return Outcome::Silent;
}

std::vector<CSearchTable::Gone> CSearchTable::EndRound() {
    std::vector<Gone> gone;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        Entry& entry = it->second;
        if (entry.replied) {
            entry.replied = false;
            entry.silentRounds = 0;
            ++it;
            continue;
        }
        if (++entry.silentRounds < kSilentRoundsForGone) {
            ++it;
            continue;
        }
        gone.push_back({std::move(entry.mac), std::move(entry.text)});
        it = m_entries.erase(it);
    }
    return gone;
}
