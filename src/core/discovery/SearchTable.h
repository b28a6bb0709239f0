// The devices the search has heard of, one entry per MAC (compared without
// regard to letter case), and the reports derived from the replies:
// found (first reply, or a new bootId), changed (other text), gone (silent
// for three rounds). The table is bounded; it lives on the search thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

class CSearchTable {
public:
    static constexpr int kSilentRoundsForGone = 3;

    enum class Outcome {
        Silent,   // same text as before: nothing to report
        Found,    // kind 1
        Changed,  // kind 3
        Full,     // a new MAC while the table is full: dropped
    };

    explicit CSearchTable(size_t maxEntries) : m_maxEntries(maxEntries) {}

    // Records a reply. `reportMac` receives the MAC text to report: the
    // text of the entry's first reply, so that a device keeps one key even
    // if it changes the letter case.
    Outcome OnReply(const std::string& mac, const std::string& bootId, const std::string& text,
                    std::string& reportMac);

    struct Gone {
        std::string mac;
        std::string text;  // the last reply, for the gone report
    };
    // Closes a round: entries that have not replied for three rounds in a
    // row are removed and returned.
    std::vector<Gone> EndRound();

    size_t Size() const { return m_entries.size(); }
    size_t Capacity() const { return m_maxEntries; }

private:
    struct Entry {
        std::string mac;
        std::string bootId;
        std::string text;
        bool replied = true;
        int silentRounds = 0;
    };

    size_t m_maxEntries;
    std::map<std::string, Entry> m_entries;  // by MacKey
};
