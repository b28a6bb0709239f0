#include "app/Language.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>

namespace {

std::atomic<UiLanguage> g_language{UiLanguage::English};

std::string LowerLocale(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

unsigned LanguageIdFromLocale(const std::string& locale) {
    // LANGUAGE may list several, separated by colons; the first counts.
    std::string name = LowerLocale(locale.substr(0, locale.find(':')));
    name = name.substr(0, name.find_first_of(".@"));
    std::replace(name.begin(), name.end(), '-', '_');
    if (name.rfind("zh", 0) != 0) {
        return kLangEnglishUs;
    }
    if (name.find("_tw") != std::string::npos) {
        return kLangChineseTaiwan;
    }
    if (name.find("_hk") != std::string::npos || name.find("_mo") != std::string::npos) {
        return kLangChineseHongKong;
    }
    if (name.find("hant") != std::string::npos) {
        return kLangChineseTaiwan;
    }
    return kLangChinesePrc;
}

unsigned ThreadLanguageFor(unsigned userLanguage) {
    switch (userLanguage) {
        case kLangChineseTaiwan:
        case kLangChineseHongKong:
            return kLangChineseTaiwan;
        case kLangChinesePrc:
            return kLangChinesePrc;
        default:
            return kLangEnglishUk;
    }
}

UiLanguage UiLanguageFor(unsigned threadLanguage) {
    switch (threadLanguage) {
        case kLangChineseTaiwan:
            return UiLanguage::TraditionalChinese;
        case kLangChinesePrc:
            return UiLanguage::SimplifiedChinese;
        default:
            return UiLanguage::English;
    }
}

std::string UserLocaleFromEnvironment() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

UiLanguage ChooseInterfaceLanguage() {
    const unsigned user = LanguageIdFromLocale(UserLocaleFromEnvironment());
    const UiLanguage language = UiLanguageFor(ThreadLanguageFor(user));
    SetCurrentLanguage(language);
    return language;
}

UiLanguage CurrentLanguage() {
    return g_language.load();
}
void SetCurrentLanguage(UiLanguage language) {
    g_language.store(language);
}
