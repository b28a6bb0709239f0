#include "ReportFields.h"

#include "app/IniFile.h"
#include "model/ReportField.h"
#include "session/SessionInventory.h"

namespace report_fields {

std::string CheckSite(const std::string& site) {
    if (site.empty()) {
        return "";
    }
    // The site is both the inventory's name and a report field.
    std::string problem = inventory::CheckSiteName(site);
    return problem.empty() ? CheckReportField("Site", site) : problem;
}

namespace {

std::string Checked(const char* key, bool site) {
    std::string value = GetUserIni().GetString(key, "");
    const std::string problem = site ? CheckSite(value) : CheckReportField(key, value);
    return problem.empty() ? value : std::string();
}

}  // namespace

REPORT_FIELDS Load() {
    return REPORT_FIELDS{Checked(kSite, true), Checked(kCustomer, false),
                         Checked(kTechnician, false)};
}

bool Save(const REPORT_FIELDS& fields) {
    if (!CheckSite(fields.site).empty() || !CheckReportField("", fields.customer).empty() ||
        !CheckReportField("", fields.technician).empty()) {
        return false;
    }
    CIniFile& ini = GetUserIni();
    const bool site = ini.WriteString(kSite, fields.site);
    const bool customer = ini.WriteString(kCustomer, fields.customer);
    return ini.WriteString(kTechnician, fields.technician) && site && customer;
}

}  // namespace report_fields
