#include "BatchQuestion.h"

#include <map>

#include "app/StringTable.h"
#include "model/DeviceText.h"

std::string BatchQuestionText(size_t cameras, size_t downgrades) {
    std::string text = LoadString(cameras == 1 ? IDS_CONFIRM_BATCH_ONE : IDS_CONFIRM_BATCH);
    if (const size_t at = text.find("%d"); at != std::string::npos) {
        text.replace(at, 2, std::to_string(cameras));
    }
    if (downgrades > 0) {
        text += "\n\n" + DowngradesText(downgrades);
    }
    return text;
}

std::string ChosenCamerasSummary(const std::vector<DEVICE_S_INFO>& cameras) {
    // Model -> version -> cameras.
    std::map<std::string, std::map<std::string, int>> models;
    for (const DEVICE_S_INFO& camera : cameras) {
        ++models[FieldString(camera.productModel)][DeviceVersionText(camera)];
    }
    std::string text = std::to_string(cameras.size()) +
                       (cameras.size() == 1 ? " camera" : " cameras") + " chosen (";
    const char* separator = "";
    for (const auto& [model, versions] : models) {
        int count = 0;
        for (const auto& version : versions) {
            count += version.second;
        }
        text += separator + std::to_string(count) + " " + model;
        separator = ", ";
    }
    text += ")";
    for (const auto& [model, versions] : models) {
        text += "\n" + model + ":";
        separator = " ";
        for (const auto& [version, count] : versions) {
            text += separator + version + " \u00d7" + std::to_string(count);
            separator = ", ";
        }
    }
    return text;
}

std::string ChosenCamerasList(const std::vector<DEVICE_S_INFO>& cameras) {
    std::string text;
    for (const DEVICE_S_INFO& camera : cameras) {
        text += FieldString(camera.mac) + "  " + FieldString(camera.ip) + "  " +
                FieldString(camera.devName) + "  " + FieldString(camera.productModel) + "  " +
                DeviceVersionText(camera) + "\n";
    }
    return text;
}
