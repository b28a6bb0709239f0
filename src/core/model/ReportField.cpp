#include "model/ReportField.h"

std::string CheckReportField(const std::string& field, const std::string& value) {
    if (value.size() > kMaxReportFieldBytes) {
        return field + " is longer than " + std::to_string(kMaxReportFieldBytes) + " bytes";
    }
    if (value.find_first_of("\r\n") != std::string::npos) {
        return field + " must be one line";
    }
    return "";
}
