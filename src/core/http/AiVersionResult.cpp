#include "http/AiVersionResult.h"

#include "app/StringTable.h"

std::string FormatAiVersionText(const std::string& mac, const std::string& structVersion,
                                const std::string& faceVersion, const std::string& vehicleVersion) {
    return mac + "#" + structVersion + "_" + faceVersion + "_" + vehicleVersion;
}

CWindowMessage MakeAiVersionReadMessage(const std::string& mac, const std::string& structVersion,
                                        const std::string& faceVersion,
                                        const std::string& vehicleVersion) {
    return MakeTextMessage(WM_AI_VERSION_RESULT, AI_VERSION_READ,
                           FormatAiVersionText(mac, structVersion, faceVersion, vehicleVersion));
}

CWindowMessage MakeAiVersionFailedMessage(const std::string& mac) {
    return MakeTextMessage(WM_AI_VERSION_RESULT, AI_VERSION_FAILED, mac);
}

bool ParseAiVersionResult(int32_t wParam, const std::string& text, AiVersionResult& result) {
    result = AiVersionResult{};
    // The block ends at its first NUL, as a C string would.
    const std::string block = text.substr(0, text.find('\0'));
    if (wParam == AI_VERSION_FAILED) {
        result.mac = block;
        result.verdictId = IDS_AI_FAILED;
        return true;
    }
    if (wParam != AI_VERSION_READ) {
        return false;
    }
    const size_t hash = block.find('#');
    result.mac = block.substr(0, hash);
    result.read = true;
    if (hash != std::string::npos) {
        const std::string rest = block.substr(hash + 1);
        const size_t first = rest.find('_');
        result.structVersion = rest.substr(0, first);
        if (first != std::string::npos) {
            const size_t second = rest.find('_', first + 1);
            result.faceVersion = rest.substr(first + 1, second - (first + 1));
            if (second != std::string::npos) {
                result.vehicleVersion = rest.substr(second + 1);
            }
        }
    }
    result.verdictId = result.HasVersions() ? IDS_AI_OK : IDS_AI_NOT_SUPPORTED;
    return true;
}

bool ParseAiVersionResult(const CWindowMessage& message, AiVersionResult& result) {
    if (message.id != WM_AI_VERSION_RESULT) {
        result = AiVersionResult{};
        return false;
    }
    return ParseAiVersionResult(message.wParam, message.Text(), result);
}
