// Reads what identifies a package file in a report handed over (its name,
// size and SHA-256) when the batch starts: the file the cameras got.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/HtmlReport.h"
#include "session/SessionTypes.h"

PackageFacts DescribePackage(const BatchPackage& package);
std::vector<PackageFacts> DescribePackages(const std::vector<BatchPackage>& packages);
