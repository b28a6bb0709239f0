#include "PackageFacts.h"

#include <filesystem>

#include "session/SessionFiles.h"
#include "session/SessionTypes.h"

PackageFacts DescribePackage(const BatchPackage& package) {
    PackageFacts facts;
    facts.model = package.model;
    facts.path = package.path;
    facts.name = std::filesystem::path(package.path).filename().string();
    CUpgradePackage file;
    if (file.Load(package.path)) {
        facts.bytes = file.Length();
        facts.sha256 = DigestToHex(DigestSha256(file.Data().data(), file.Length()), false);
    }
    return facts;
}

std::vector<PackageFacts> DescribePackages(const std::vector<BatchPackage>& packages) {
    std::vector<PackageFacts> facts;
    for (const BatchPackage& package : packages) {
        facts.push_back(DescribePackage(package));
    }
    return facts;
}
