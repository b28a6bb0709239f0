// What identifies a package file in a report handed over: its name, size
// and SHA-256, read when the batch starts (the file the cameras got).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "upgrade/RolloutPlan.h"

struct PackageFacts {
    std::string model;  // "" for every camera
    std::string path;
    std::string name;    // without its folder
    uint64_t bytes = 0;  // 0 with `sha256` "" when it could not be read
    std::string sha256;  // lower-case hexadecimal
};

PackageFacts DescribePackage(const BatchPackage& package);
std::vector<PackageFacts> DescribePackages(const std::vector<BatchPackage>& packages);
