// The outcome of one camera's analytics query as it travels to the front-end
// in WM_AI_VERSION_RESULT, and as the list shows it. Shared by the window and
// the CLI, so both read the message alike.
#pragma once

#include <cstdint>
#include <string>

#include "app/WindowMessages.h"

struct AiVersionResult {
    std::string mac;
    std::string structVersion;
    std::string faceVersion;
    std::string vehicleVersion;
    // True for a read reply (wParam 20): the analytics columns are to be
    // shown, even when the camera named no version.
    bool read = false;
    // The string id of the verdict: 1057 versions read, 1058 no reply,
    // 1059 the camera names no analytics version.
    int verdictId = 0;
    // True when at least one version is named: columns 11 to 13 take the
    // three texts (a 1059 verdict leaves them as they are).
    bool HasVersions() const {
        return !structVersion.empty() || !faceVersion.empty() || !vehicleVersion.empty();
    }
};

// The message text of a read reply: mac "#" struct "_" face "_" vehicle.
std::string FormatAiVersionText(const std::string& mac, const std::string& structVersion,
                                const std::string& faceVersion, const std::string& vehicleVersion);

// The two messages of the query.
CWindowMessage MakeAiVersionReadMessage(const std::string& mac, const std::string& structVersion,
                                        const std::string& faceVersion,
                                        const std::string& vehicleVersion);
CWindowMessage MakeAiVersionFailedMessage(const std::string& mac);

// Reads a WM_AI_VERSION_RESULT: for wParam 20 the text splits at the first
// "#" (MAC before it), the rest at its first "_" (struct) and the next "_"
// (face), vehicle being everything after; a version text holding "_" thus
// shifts the ones after it. For wParam 21 the whole text is the MAC. False
// for any other wParam (nothing to change). The MAC is to be matched byte
// for byte against the list's records.
bool ParseAiVersionResult(int32_t wParam, const std::string& text, AiVersionResult& result);
bool ParseAiVersionResult(const CWindowMessage& message, AiVersionResult& result);
