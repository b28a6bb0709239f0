// The order of an upgrade path: the packages given for one model (or for
// every camera) are its steps, ordered by the versions their file names
// carry, never by the order they were given in.
#pragma once

#include <string>
#include <vector>

#include "model/BatchPackage.h"

// `ordered` holds `packages` grouped by model (each model where its first
// package was given) with each model's packages in release order. A model
// with one package needs no version in its file name. Refused, with one
// sentence in `error`: a path package whose name carries no version, two
// packages of one model with the same version, and a path whose builds go
// down while its version texts go up (which of the two is newer is then
// not clear). Reads no file.
bool OrderUpgradePaths(const std::vector<BatchPackage>& packages,
                       std::vector<BatchPackage>& ordered, std::string& error);
