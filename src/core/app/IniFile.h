// INI settings files in the manner of the Windows profile functions: one
// section per bracketed name, "key=value" lines, section and key names
// compared without regard to case.
#pragma once

#include <map>
#include <mutex>
#include <string>

constexpr const char* kConfigSection = "CONFIG";

// Longest value a read returns, in characters; longer values are cut.
constexpr size_t kMaxIniValueChars = 1023;

class CIniFile {
public:
    CIniFile() = default;
    explicit CIniFile(std::string path) : m_path(std::move(path)) {}
    CIniFile(const CIniFile& other);
    CIniFile& operator=(const CIniFile& other);

    std::string Path() const;
    void SetPath(std::string path);
    bool IsResolved() const { return !Path().empty(); }

    // The value, cut to 1023 characters, or `def` when the key is missing.
    std::string GetString(const std::string& key, const std::string& def,
                          const std::string& section = kConfigSection) const;
    // Empty text gives `def`; "true" (any case) or "1" give true; else false.
    bool GetBool(const std::string& key, bool def,
                 const std::string& section = kConfigSection) const;
    // Empty text gives `def`; otherwise the value of its leading digits
    // (0 when there are none).
    int GetInt(const std::string& key, int def, const std::string& section = kConfigSection) const;
    // Writes the value; the file is replaced atomically. The per-user file
    // is created readable by its owner only.
    bool WriteString(const std::string& key, const std::string& value,
                     const std::string& section = kConfigSection);
    bool HasKey(const std::string& key, const std::string& section = kConfigSection) const;
    // Removes the key's line (true when it is gone, or was never there).
    bool RemoveKey(const std::string& key, const std::string& section = kConfigSection);

private:
    mutable std::mutex m_mutex;
    std::string m_path;
};

// The program settings file: "<base>.ini" in the current directory when it
// exists there, else beside the executable.
CIniFile& GetProgramIni();
// The per-user settings file: "<base>.ini" in the "KMR" folder of the local
// application-data folder, which is created on first use.
CIniFile& GetUserIni();
// The per-user folder ("<local app data>/KMR"), created when missing.
std::string GetUserFolder();

// Forgets both resolved paths, so that the next access resolves them again
// (tests change the directories between cases).
void ResetIniPaths();

// `_wtoi` semantics: leading blanks, an optional sign, then digits.
int ParseLeadingInt(const std::string& text);
