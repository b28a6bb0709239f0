#include "app/IniFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <set>
#include <sstream>
#include <vector>

#include "app/Version.h"
#include "platform/OwnerOnlyFile.h"
#include "platform/Paths.h"

namespace {

// Serialises read-modify-write cycles of every settings file in the process.
std::mutex g_writeMutex;

// Says once per file why a settings file is skipped. Standard error, not the
// log: the logger reads its own settings through here.
void WarnSkipped(const std::string& problem) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> guard(mutex);
    if (told.insert(problem).second) {
        std::fprintf(stderr, "firmhand: settings file skipped: %s\n", problem.c_str());
    }
}

// The file's text when no other user can have written it; else nothing.
bool ReadSettingsFile(const std::string& path, std::string& content) {
    std::string problem;
    if (platform::ReadTrustedFile(path, content, problem)) {
        return true;
    }
    if (!problem.empty()) {
        WarnSkipped(problem);
    }
    return false;
}

std::string LowerIniKey(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Cuts UTF-8 text after `maxChars` code points.
std::string CutChars(const std::string& text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) {
                return text.substr(0, i);
            }
            ++chars;
        }
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(content);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

bool IsSectionLine(const std::string& trimmed, std::string* name) {
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return false;
    }
    const auto close = trimmed.find(']');
    if (close == std::string::npos) {
        return false;
    }
    *name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// Splits "key=value"; false for lines without '=' and comments.
bool SplitKeyValue(const std::string& line, std::string* key, std::string* value) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
        return false;
    }
    const auto eq = trimmed.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    *key = Trim(trimmed.substr(0, eq));
    *value = Trim(trimmed.substr(eq + 1));
    if (value->size() >= 2 && ((value->front() == '"' && value->back() == '"') ||
                               (value->front() == '\'' && value->back() == '\''))) {
        *value = value->substr(1, value->size() - 2);
    }
    return true;
}

bool FindValue(const std::string& content, const std::string& section, const std::string& key,
               std::string* value) {
    const std::string wantedSection = LowerIniKey(section);
    const std::string wantedKey = LowerIniKey(key);
    bool inSection = false;
    for (const std::string& line : SplitLines(content)) {
        std::string name;
        if (IsSectionLine(Trim(line), &name)) {
            inSection = LowerIniKey(name) == wantedSection;
            continue;
        }
        std::string k;
        std::string v;
        if (inSection && SplitKeyValue(line, &k, &v) && LowerIniKey(k) == wantedKey) {
            *value = v;
            return true;
        }
    }
    return false;
}

std::string WithValue(const std::string& content, const std::string& section,
                      const std::string& key, const std::string& value) {
    std::vector<std::string> lines = SplitLines(content);
    const std::string wantedSection = LowerIniKey(section);
    const std::string wantedKey = LowerIniKey(key);
    const std::string newLine = key + "=" + value;
    bool inSection = false;
    long sectionEnd = -1;  // index after the last line of the wanted section
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (IsSectionLine(Trim(lines[i]), &name)) {
            inSection = LowerIniKey(name) == wantedSection;
            if (inSection) {
                sectionEnd = static_cast<long>(i) + 1;
            }
            continue;
        }
        std::string k;
        std::string v;
        if (inSection) {
            if (SplitKeyValue(lines[i], &k, &v) && LowerIniKey(k) == wantedKey) {
                lines[i] = k + "=" + value;  // the key keeps its spelling
                sectionEnd = -2;
                break;
            }
            if (!Trim(lines[i]).empty()) {
                sectionEnd = static_cast<long>(i) + 1;
            }
        }
    }
    if (sectionEnd >= 0) {
        lines.insert(lines.begin() + sectionEnd, newLine);
    } else if (sectionEnd == -1) {
        lines.push_back("[" + section + "]");
        lines.push_back(newLine);
    }
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\n";
    }
    return out;
}

// The content without the key's lines in the section; false when it had none.
bool WithoutKey(const std::string& content, const std::string& section, const std::string& key,
                std::string* out) {
    const std::string wantedSection = LowerIniKey(section);
    const std::string wantedKey = LowerIniKey(key);
    bool inSection = false;
    bool removed = false;
    out->clear();
    for (const std::string& line : SplitLines(content)) {
        std::string name;
        std::string k;
        std::string v;
        if (IsSectionLine(Trim(line), &name)) {
            inSection = LowerIniKey(name) == wantedSection;
        } else if (inSection && SplitKeyValue(line, &k, &v) && LowerIniKey(k) == wantedKey) {
            removed = true;
            continue;
        }
        *out += line;
        *out += "\n";
    }
    return removed;
}

std::string ResolveProgramIniPath() {
    const std::string name = std::string(GetSettingsBaseName()) + ".ini";
    const std::string inCurrent = platform::PathCombine(platform::CurrentDirectory(), name);
    // Only a file that no other user can have written: a shared folder's
    // file could otherwise send the password to a device of its choosing.
    std::string content;
    if (platform::PathFileExists(inCurrent) && ReadSettingsFile(inCurrent, content)) {
        return inCurrent;
    }
    const std::string folder = platform::ExecutableFolder();
    return folder.empty() ? std::string() : platform::PathCombine(folder, name);
}

std::string ResolveUserIniPath() {
    const std::string folder = GetUserFolder();
    if (folder.empty()) {
        return {};
    }
    return platform::PathCombine(folder, std::string(GetSettingsBaseName()) + ".ini");
}

}  // namespace

int ParseLeadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

CIniFile::CIniFile(const CIniFile& other) {
    std::lock_guard<std::mutex> guard(other.m_mutex);
    m_path = other.m_path;
}

CIniFile& CIniFile::operator=(const CIniFile& other) {
    if (this != &other) {
        std::scoped_lock guard(m_mutex, other.m_mutex);
        m_path = other.m_path;
    }
    return *this;
}

std::string CIniFile::Path() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_path;
}

void CIniFile::SetPath(std::string path) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_path = std::move(path);
}

std::string CIniFile::GetString(const std::string& key, const std::string& def,
                                const std::string& section) const {
    std::string path;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        path = m_path;
    }
    std::string content;
    std::string value;
    if (!path.empty() && ReadSettingsFile(path, content) &&
        FindValue(content, section, key, &value)) {
        return CutChars(value, kMaxIniValueChars);
    }
    return CutChars(def, kMaxIniValueChars);
}

bool CIniFile::HasKey(const std::string& key, const std::string& section) const {
    const std::string path = Path();
    std::string content;
    std::string value;
    return !path.empty() && ReadSettingsFile(path, content) &&
           FindValue(content, section, key, &value);
}

bool CIniFile::RemoveKey(const std::string& key, const std::string& section) {
    const std::string path = Path();
    if (path.empty() || key.empty()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_writeMutex);
    std::string content;
    std::string rest;
    if (!ReadSettingsFile(path, content) || !WithoutKey(content, section, key, &rest)) {
        return true;  // nothing to remove
    }
    return platform::WriteFileAtomic(path, rest, 0600);
}

bool CIniFile::GetBool(const std::string& key, bool def, const std::string& section) const {
    const std::string text = GetString(key, "", section);
    if (text.empty()) {
        return def;
    }
    return LowerIniKey(text) == "true" || text == "1";
}

int CIniFile::GetInt(const std::string& key, int def, const std::string& section) const {
    const std::string text = GetString(key, "", section);
    if (text.empty()) {
        return def;
    }
    return ParseLeadingInt(text);
}

bool CIniFile::WriteString(const std::string& key, const std::string& value,
                           const std::string& section) {
    const std::string path = Path();
    if (path.empty() || key.empty()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_writeMutex);
    std::string content;
    ReadSettingsFile(path, content);
    return platform::WriteFileAtomic(path, WithValue(content, section, key, value), 0600);
}

namespace {
CIniFile& ProgramIniInstance() {
    static CIniFile instance;
    return instance;
}
CIniFile& UserIniInstance() {
    static CIniFile instance;
    return instance;
}
}  // namespace

std::string GetUserFolder() {
    const std::string appData = platform::LocalAppDataFolder();
    if (appData.empty()) {
        return {};
    }
    const std::string folder = platform::PathCombine(appData, "KMR");
    platform::CreateFolders(folder);  // a failure shows later as a failed write
    return folder;
}

CIniFile& GetProgramIni() {
    CIniFile& ini = ProgramIniInstance();
    if (!ini.IsResolved()) {
        ini.SetPath(ResolveProgramIniPath());
    }
    return ini;
}

CIniFile& GetUserIni() {
    CIniFile& ini = UserIniInstance();
    if (!ini.IsResolved()) {
        ini.SetPath(ResolveUserIniPath());
    }
    return ini;
}

void ResetIniPaths() {
    ProgramIniInstance().SetPath({});
    UserIniInstance().SetPath({});
}
