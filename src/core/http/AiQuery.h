// One camera's analytics version query, made from its list record and the
// credentials typed in the window. Texts longer than a field are cut to the
// field's width less one.
#pragma once

#include <cstdint>
#include <string>

#include "model/DeviceSInfo.h"

struct AiQuery {
    char mac[64];
    char ip[20];
    char ip2[20];
    int32_t dataPort;  // probed to choose between ip and ip2
    int32_t httpPort;  // where the request goes
    char user[32];
    char password[32];
    // Basic authentication allowed besides Digest (AllowHttpBasicAuth); the
    // session sets it from its settings (MakeAiQuery leaves it false).
    bool allowBasicAuth;
};

AiQuery MakeAiQuery(const DEVICE_S_INFO& record, const std::string& user,
                    const std::string& password);
