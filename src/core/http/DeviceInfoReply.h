// The reply of the device API call "GetDeviceInfo": an XML document
// <config><deviceInfo>...</deviceInfo></config> whose elements
// structVersion, faceDetectVersion and vehicleVersion hold the versions of
// the camera's analytics libraries.
#pragma once

#include <string>

// Reads the three versions; an element that is missing (or not found after
// the one before it) leaves its output empty. Always true, so a reply that
// is not this document yields three empty texts.
bool GetDeviceInfoReply(const std::string& reply, std::string& structVersion,
                        std::string& faceVersion, std::string& vehicleVersion);
