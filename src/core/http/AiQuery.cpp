#include "http/AiQuery.h"

#include <cstring>

AiQuery MakeAiQuery(const DEVICE_S_INFO& record, const std::string& user,
                    const std::string& password) {
    AiQuery query;
    std::memset(&query, 0, sizeof query);
    // The record's fields are NUL-terminated within their own widths.
    CopyField(query.mac, std::string(record.mac, strnlen(record.mac, sizeof record.mac)));
    CopyField(query.ip, std::string(record.ip, strnlen(record.ip, sizeof record.ip)));
    CopyField(query.ip2, std::string(record.ip2, strnlen(record.ip2, sizeof record.ip2)));
    query.dataPort = record.dataPort;
    query.httpPort = record.httpPort;
    CopyField(query.user, user);
    CopyField(query.password, password);
    return query;
}
