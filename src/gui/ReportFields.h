// The site, customer and technician the window's HTML report names and
// the site the inventory records under, remembered in the per-user
// settings file. A remembered value that no longer passes its check is
// ignored, as a damaged entry would be.
#pragma once

#include <string>

namespace report_fields {

inline constexpr const char* kSite = "InventorySite";
inline constexpr const char* kCustomer = "ReportCustomer";
inline constexpr const char* kTechnician = "ReportTechnician";

struct REPORT_FIELDS {
    std::string site;  // "": the subnet of the adapter
    std::string customer;
    std::string technician;
};

// "" when `site` may name the site ("" included: the adapter's subnet);
// else what is wrong.
std::string CheckSite(const std::string& site);

REPORT_FIELDS Load();
// False when a value fails its check (nothing is written) or the file
// cannot be written.
bool Save(const REPORT_FIELDS& fields);

}  // namespace report_fields
