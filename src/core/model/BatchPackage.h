// A package of a batch and the one rule that picks a camera's package by
// its model, used by the rollout's plan and by the CLI's report rows.
#pragma once

#include <string>
#include <vector>

// A package of a batch and the model it is for ("": every camera).
struct BatchPackage {
    std::string model;
    std::string path;
};

// The package a camera of `model` gets: the one named for its model
// (exactly as the camera reports it), else the one for every camera, else
// null. `Package` is anything with a `model` member.
template <class Package>
const Package* PackageForModel(const std::vector<Package>& packages, const std::string& model) {
    const Package* common = nullptr;
    for (const Package& package : packages) {
        if (!package.model.empty() && package.model == model) {
            return &package;
        }
        if (package.model.empty()) {
            common = &package;
        }
    }
    return common;
}
