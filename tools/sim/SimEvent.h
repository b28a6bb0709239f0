// One entry of a camera's event log: what it saw and what it decided.
// Written as one JSON line: {"t":123,"mac":"..","event":"login_ok",...}.
//
// Kinds and their fields (conn numbers a device-protocol connection):
//   start            bootId ip ip2 dataPort httpPort searchPort softwareVer build
//   online           bootId softwareVer build upgradeMode   (back after offline)
//   offline          reason: "flash" | "api" | "restart" | "upgrade_mode"
//   connect          conn peer          disconnect  conn reason
//   login            conn user upgradeMode clientNonce localMac
//   login_ok         conn softwareVersion
//   login_refused    conn error reason  (reason: "forced", "credentials: ...", ...)
//   upgrade_start    conn style ("new": 0x0A01 seen; "old": blocks without it)
//   block            conn n size        (accepted and acknowledged)
//   block_rejected   conn n reason error
//   upgrade_error    conn n word        close_at_block conn n
//   acks_stopped     conn n             invalid_head   conn at ("login" | block n)
//   transfer_done    conn bytes md5 md5Checked md5Ok
//   flash_start      ms                 ip2_changed    ip2 mask2
//   unknown_command  conn cmd           bad_frame      conn reason
//   no_login         conn cmd           (a command before a login, refused)
//   probe_answered   from seq           probe_ignored  from reason
//   http             method path status auth
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct SimEvent {
    uint64_t timeMs = 0;  // since the fleet started
    std::string mac;
    std::string kind;
    // Further fields in order; numbers are kept as their decimal text and
    // written to JSON as numbers.
    struct Field {
        std::string name;
        std::string value;
        bool number = false;
    };
    std::vector<Field> fields;

    // The field's text, or "" when absent.
    std::string Get(const std::string& name) const;
    // The field as a number, or `fallback` when absent or not a number.
    int64_t GetInt(const std::string& name, int64_t fallback = -1) const;
    bool Has(const std::string& name) const;

    SimEvent& Add(const std::string& name, const std::string& value);
    SimEvent& Add(const std::string& name, const char* value);
    SimEvent& Add(const std::string& name, int64_t value);
    SimEvent& Add(const std::string& name, int value) { return Add(name, int64_t{value}); }
    SimEvent& Add(const std::string& name, uint32_t value) { return Add(name, int64_t{value}); }
    SimEvent& Add(const std::string& name, bool value);

    std::string Json() const;
};
