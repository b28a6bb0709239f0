#include "discovery/SearchReport.h"

#include "app/IniFile.h"

namespace {

// Reads the next "item" under the cursor's parent into ip / mask.
template <size_t N>
void ReadItem(CMarkupSTL& xml, char (&ip)[N], char (&mask)[N]) {
    if (!xml.FindElement("item")) {
        return;
    }
    if (xml.FindChildElement("ip")) {
        CopyField(ip, xml.GetChildText());
    }
    xml.ResetChildPosition();
    if (xml.FindChildElement("mask")) {
        CopyField(mask, xml.GetChildText());
    }
}

// The text of the child `name` of the main element, looked for from the
// first child on; false when there is none.
bool ChildText(CMarkupSTL& xml, const char* name, std::string& text) {
    xml.ResetChildPosition();
    if (!xml.FindChildElement(name)) {
        return false;
    }
    text = xml.GetChildText();
    return true;
}

// Decimal text read as atoi would, but without its overflow.
bool ChildNumber(CMarkupSTL& xml, const char* name, int32_t& value) {
    std::string text;
    if (!ChildText(xml, name, text)) {
        return false;
    }
    value = ParseLeadingInt(text);
    return true;
}

template <size_t N>
void ChildField(CMarkupSTL& xml, const char* name, char (&field)[N], size_t limit = N - 1) {
    std::string text;
    if (ChildText(xml, name, text)) {
        CopyField(field, text, limit);
    }
}

}  // namespace

ReportCheck CheckSearchReport(CMarkupSTL& xml, std::string& series) {
    xml.ResetPosition();
    if (!xml.FindElement("multicastSearchResult") || !xml.EnterElement()) {
        return ReportCheck::NoRoot;
    }
    series.clear();
    const bool hasSeries =
        xml.FindElement("productInfo") && ChildText(xml, "productSeries", series);
    xml.ResetMainPosition();
    if (hasSeries && series.find(kSeriesMark) == std::string::npos) {
        return ReportCheck::OtherSeries;
    }
    return ReportCheck::Accepted;
}

std::unique_ptr<DEVICE_S_INFO> ReadDeviceInfo(CMarkupSTL& xml, const std::string& mac) {
    auto info = MakeEmptyDeviceInfo();
    CopyField(info->mac, mac);

    xml.ResetMainPosition();
    if (xml.FindElement("tcpIp") && xml.EnterElement()) {
        if (xml.FindElement("ipAddr") && xml.EnterElement()) {
            ReadItem(xml, info->ip, info->mask);
            ReadItem(xml, info->ip2, info->mask2);
            xml.LeaveElement();
        }
        xml.LeaveElement();
    }

    xml.ResetMainPosition();
    if (xml.FindElement("port")) {
        ChildNumber(xml, "dataPort", info->dataPort);
        ChildNumber(xml, "httpPort", info->httpPort);
    }

    info->build = -1;
    xml.ResetMainPosition();
    if (xml.FindElement("productInfo")) {
        ChildField(xml, "softwareVer", info->softwareVer);
        ChildField(xml, "devName", info->devName);
        ChildField(xml, "softwareBulildDate", info->buildDate);
        ChildField(xml, "kernelVer", info->kernelVer);
        ChildField(xml, "hardwareVer", info->hardwareVer, 15);
        ChildNumber(xml, "deviceActivated", info->deviceActivated);
        ChildField(xml, "productModel", info->productModel);
        ChildNumber(xml, "build", info->build);
    }
    xml.ResetMainPosition();
    return info;
}
