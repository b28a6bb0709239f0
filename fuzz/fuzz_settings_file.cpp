// A settings file as anyone can leave it (the current folder's included):
// reads stay within their bounds, and a value written into the file reads
// back as written while the rest of the file is kept.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "FuzzInput.h"
#include "app/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CFuzzFile file;
    CFuzzInput in(data, size);
    // A key to look up and a value to write, then the file.
    const std::string key(in.Text(in.Byte() % 24));
    const std::string value(in.Text(in.Byte() % 40));
    const auto rest = in.Rest();
    file.Write(rest.data(), rest.size());
    chmod(file.Path().c_str(), 0600);

    CIniFile ini(file.Path());
    for (const char* section : {"CONFIG", "config", ""}) {
        const std::string text = ini.GetString(key, "default", section);
        if (text.size() > kMaxIniValueChars * 4) {
            std::abort();  // 1023 characters of at most four bytes
        }
        ini.GetInt(key, 7, section);
        ini.GetBool(key, true, section);
        ini.HasKey(key, section);
    }

    // A key and value the file format can hold (no line breaks, no "=" or
    // brackets in the key, no blanks at the edges) survive a write.
    const bool plainKey = !key.empty() && key.find_first_of("=[];#\r\n \t\"'") == std::string::npos;
    const bool plainValue = value.find_first_of("\r\n \t\"'") == std::string::npos;
    if (plainKey && plainValue && ini.WriteString(key, value)) {
        if (ini.GetString(key, "missing") != value.substr(0, kMaxIniValueChars)) {
            std::abort();
        }
        if (!ini.RemoveKey(key) || ini.HasKey(key)) {
            std::abort();
        }
    }
    return 0;
}
