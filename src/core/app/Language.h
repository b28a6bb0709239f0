// The interface language, chosen once at start-up from the user's locale.
#pragma once

#include <string>

enum class UiLanguage { English, TraditionalChinese, SimplifiedChinese };

// Windows-style language ids of the user's UI language and of the language
// that the interface is then shown in.
constexpr unsigned kLangChineseTaiwan = 0x0404;
constexpr unsigned kLangChinesePrc = 0x0804;
constexpr unsigned kLangChineseHongKong = 0x0C04;
constexpr unsigned kLangEnglishUs = 0x0409;
constexpr unsigned kLangEnglishUk = 0x0809;

// The user's UI language from a locale name such as "zh_TW.UTF-8" or
// "zh-Hant-HK"; anything not Chinese maps to English (United States).
unsigned LanguageIdFromLocale(const std::string& locale);

// The language set for the interface: Taiwan and Hong Kong give Traditional
// Chinese, the PRC Simplified Chinese, any other English (United Kingdom).
unsigned ThreadLanguageFor(unsigned userLanguage);
UiLanguage UiLanguageFor(unsigned threadLanguage);

// The user's locale from LANGUAGE, LC_ALL, LC_MESSAGES, LANG (first set).
std::string UserLocaleFromEnvironment();

// Chooses the language from the environment and makes it current.
UiLanguage ChooseInterfaceLanguage();
UiLanguage CurrentLanguage();
void SetCurrentLanguage(UiLanguage language);
