// The site inventory as the front-ends read it (no camera is contacted):
// the database and its texts (site names, firmware versions).
#pragma once

#include "inventory/Inventory.h"
#include "inventory/InventoryRows.h"
#include "inventory/InventoryText.h"
