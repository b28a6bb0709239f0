#include "http/AiQuery.h"

#include <cstring>

#include "model/DeviceText.h"

AiQuery MakeAiQuery(const DEVICE_S_INFO& record, const std::string& user,
                    const std::string& password) {
    AiQuery query;
    std::memset(&query, 0, sizeof query);
    // The record's fields are NUL-terminated within their own widths.
    CopyField(query.mac, FieldString(record.mac));
    CopyField(query.ip, FieldString(record.ip));
    CopyField(query.ip2, FieldString(record.ip2));
    query.dataPort = record.dataPort;
    query.httpPort = record.httpPort;
    CopyField(query.user, user);
    CopyField(query.password, password);
    return query;
}
