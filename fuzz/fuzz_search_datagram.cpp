// The device search's datagram path: each reply datagram is read, entered in
// the device table and, when it is news, reported to the intake, as the
// search thread does. The input is a run of datagrams separated by "\n#\n";
// a datagram "!" closes a search round (gone reports).
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzInput.h"
#include "app/MessageQueue.h"
#include "discovery/SearchIntake.h"
#include "discovery/SearchProtocol.h"
#include "discovery/SearchTable.h"

namespace {

// A small table, so that a run can fill it.
constexpr size_t kTableSize = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto queue = std::make_shared<CMessageQueue>();
    static CSearchIntake intake(queue);

    CSearchTable table(kTableSize);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ForEachPart(text, "\n#\n", [&](std::string_view part) {
        if (part == "!") {
            for (const CSearchTable::Gone& gone : table.EndRound()) {
                intake.HandleReport(gone.mac.c_str(), 2, gone.text.c_str());
            }
            return;
        }
        const std::string datagram(part);
        search::SearchReply reply;
        std::string reason;
        if (!search::ParseReply(datagram, reply, reason)) {
            if (reason.empty()) {
                std::abort();  // a dropped reply always says why
            }
            return;
        }
        if (!search::IsValidMac(reply.mac) || datagram.size() > search::kMaxDatagram) {
            std::abort();
        }
        std::string mac;
        switch (table.OnReply(reply.mac, reply.bootId, datagram, mac)) {
            case CSearchTable::Outcome::Found:
                intake.HandleReport(mac.c_str(), 1, datagram.c_str());
                break;
            case CSearchTable::Outcome::Changed:
                intake.HandleReport(mac.c_str(), 3, datagram.c_str());
                break;
            case CSearchTable::Outcome::Silent:
            case CSearchTable::Outcome::Full:
                break;
        }
        if (table.Size() > kTableSize) {
            std::abort();  // the table never grows past its capacity
        }
    });
    while (queue->TryPop()) {
    }
    return 0;
}
