#include "model/DeviceJson.h"

#include "model/DeviceText.h"

CJsonObject DeviceJsonObject(const DEVICE_S_INFO& r, const std::string& activationText) {
    CJsonObject object;
    object.Add("devName", FieldString(r.devName))
        .Add("mac", FieldString(r.mac))
        .Add("ip", FieldString(r.ip))
        .Add("ip2", FieldString(r.ip2))
        .Add("mask", FieldString(r.mask))
        .Add("mask2", FieldString(r.mask2))
        .Add("dataPort", r.dataPort)
        .Add("httpPort", r.httpPort)
        .Add("productModel", FieldString(r.productModel))
        .Add("softwareVer", FieldString(r.softwareVer))
        .Add("buildDate", FieldString(r.buildDate))
        .Add("kernelVer", FieldString(r.kernelVer))
        .Add("hardwareVer", FieldString(r.hardwareVer))
        .Add("build", r.build)
        .Add("deviceActivated", r.deviceActivated)
        .Add("versionText", DeviceVersionText(r))
        .Add("activationText", activationText);
    return object;
}
