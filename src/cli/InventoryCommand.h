// firmhand-cli history and inventory: what the site inventory recorded,
// read without contacting any camera.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

struct HistoryOptions {
    std::string mac;   // "" every camera; normalised by the input check
    std::string site;  // "" every site
    bool json = false;
};

struct InventoryOptions {
    std::string site;
    std::string olderThan;  // "" every camera
    bool csv = false;
    bool json = false;
};

// The inventory database a command reads and writes: --inventory, else the
// user's ($XDG_STATE_HOME/firmhand/inventory.sqlite).
std::string InventoryPathOf(const std::string& option);

// "" when --site names a site; else what is wrong.
std::string CheckSiteOption(const std::string& site);

// Tables are fitted to `columns` display cells (0: no limit): what tells
// cameras and versions apart stays whole, the rest gives way.
// Exit status: 0 listed (also an empty list); 1 the database cannot be read
// (one message); 2 an unknown --site.
int RunHistory(const HistoryOptions& options, const std::string& path, std::ostream& out,
               std::ostream& err, size_t columns = 0);
int RunInventory(const InventoryOptions& options, const std::string& path, std::ostream& out,
                 std::ostream& err, size_t columns = 0);
