#include "http/DeviceInfoReply.h"

#include "xml/MarkupSTL.h"

bool GetDeviceInfoReply(const std::string& reply, std::string& structVersion,
                        std::string& faceVersion, std::string& vehicleVersion) {
    structVersion.clear();
    faceVersion.clear();
    vehicleVersion.clear();
    CMarkupSTL xml(reply);
    // A reply without these levels simply finds nothing below.
    xml.FindElement("config");
    xml.EnterElement();
    xml.FindElement("deviceInfo");
    xml.EnterElement();
    // Each search goes on from the last element found.
    if (xml.FindElement("structVersion")) {
        structVersion = xml.GetElementText();
    }
    if (xml.FindElement("faceDetectVersion")) {
        faceVersion = xml.GetElementText();
    }
    if (xml.FindElement("vehicleVersion")) {
        vehicleVersion = xml.GetElementText();
    }
    return true;
}
