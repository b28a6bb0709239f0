// The report's header fields typed by a person (site, customer,
// technician): one line each, bounded so that a page stays readable.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kMaxReportFieldBytes = 200;

// "" when `value` may stand in the report; else what is wrong, naming the
// field as `field` ("--customer", "Customer").
std::string CheckReportField(const std::string& field, const std::string& value);
