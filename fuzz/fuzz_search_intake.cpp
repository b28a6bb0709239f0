// The search intake: a report (MAC text, kind, XML) from the device-search
// library becomes at most one message with a well-formed record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzInput.h"
#include "app/MessageQueue.h"
#include "discovery/SearchIntake.h"

namespace {

template <size_t N>
void CheckField(const char (&field)[N]) {
    if (strnlen(field, N) >= N) {
        std::abort();  // every text field is NUL-terminated inside the record
    }
}

void CheckRecord(const DEVICE_S_INFO& info) {
    CheckField(info.devName);
    CheckField(info.mac);
    CheckField(info.ip);
    CheckField(info.ip2);
    CheckField(info.mask);
    CheckField(info.mask2);
    CheckField(info.productModel);
    CheckField(info.softwareVer);
    CheckField(info.buildDate);
    CheckField(info.kernelVer);
    CheckField(info.hardwareVer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto queue = std::make_shared<CMessageQueue>();
    static CSearchIntake intake(queue);

    CFuzzInput in(data, size);
    const int kind = in.Byte() % 6;  // 1..3 are reports, the rest is ignored
    const std::string mac = in.Text(in.Byte());
    const auto rest = in.Rest();
    const std::string xml(rest.begin(), rest.end());
    intake.HandleReport(mac.c_str(), kind, xml.c_str());

    int posted = 0;
    while (auto message = queue->TryPop()) {
        ++posted;
        if (message->id != WM_DEVICE_NOTIFY) {
            std::abort();
        }
        if (message->wParam == DEVICE_NOTIFY_GONE) {
            if (message->Text().size() > 19) {
                std::abort();  // a gone report carries at most 19 MAC characters
            }
        } else if (auto record = message->TakeDevice()) {
            CheckRecord(*record);
        } else {
            std::abort();  // found and changed reports carry a record
        }
    }
    if (posted > 1) {
        std::abort();  // one report, one message at most
    }
    return 0;
}
