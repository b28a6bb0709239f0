#include <gtest/gtest.h>

#include "app/Language.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "app/Version.h"

TEST(Version, BaseNameCutsAtTheLastDot) {
    EXPECT_EQ(BaseNameOfPath("/opt/x/a.b.exe"), "a.b");
    EXPECT_EQ(BaseNameOfPath("Firmhand.exe"), "Firmhand");
    EXPECT_EQ(BaseNameOfPath("/usr/bin/firmhand"), "firmhand");
    EXPECT_EQ(GetModuleBaseName(), "test_app");
}

TEST(Version, TextOfTheFourFields) {
    EXPECT_EQ(VersionToString(0), "");
    EXPECT_EQ(VersionToString(MakeVersionNumber(1, 2, 3, 4)), "1.2.3.4");
    EXPECT_EQ(VersionToString(MakeVersionNumber(65535, 0, 0, 1)), "65535.0.0.1");
    EXPECT_NE(GetModuleVersionNumber(), 0u);
}

TEST(Language, UserLocalesMapToTheThreeTables) {
    EXPECT_EQ(LanguageIdFromLocale("zh_TW.UTF-8"), kLangChineseTaiwan);
    EXPECT_EQ(LanguageIdFromLocale("zh_HK"), kLangChineseHongKong);
    EXPECT_EQ(LanguageIdFromLocale("zh_CN.GB2312"), kLangChinesePrc);
    EXPECT_EQ(LanguageIdFromLocale("zh-Hant-TW"), kLangChineseTaiwan);
    EXPECT_EQ(LanguageIdFromLocale("en_US.UTF-8"), kLangEnglishUs);
    EXPECT_EQ(LanguageIdFromLocale("ja_JP"), kLangEnglishUs);
    EXPECT_EQ(LanguageIdFromLocale(""), kLangEnglishUs);
    EXPECT_EQ(LanguageIdFromLocale("zh_TW:en"), kLangChineseTaiwan);

    EXPECT_EQ(ThreadLanguageFor(kLangChineseHongKong), kLangChineseTaiwan);
    EXPECT_EQ(ThreadLanguageFor(kLangChineseTaiwan), kLangChineseTaiwan);
    EXPECT_EQ(ThreadLanguageFor(kLangChinesePrc), kLangChinesePrc);
    EXPECT_EQ(ThreadLanguageFor(0x0409), kLangEnglishUk);
    EXPECT_EQ(ThreadLanguageFor(0x0411), kLangEnglishUk);
    EXPECT_EQ(UiLanguageFor(kLangEnglishUk), UiLanguage::English);
}

TEST(Language, EnvironmentOrderIsLanguageThenLcAllThenMessagesThenLang) {
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::string saved[4];
    bool had[4];
    for (int i = 0; i < 4; ++i) {
        const char* v = std::getenv(names[i]);
        had[i] = v != nullptr;
        saved[i] = v ? v : "";
        unsetenv(names[i]);
    }
    setenv("LANG", "zh_CN.UTF-8", 1);
    setenv("LC_MESSAGES", "zh_HK.UTF-8", 1);
    EXPECT_EQ(ChooseInterfaceLanguage(), UiLanguage::TraditionalChinese);
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(ChooseInterfaceLanguage(), UiLanguage::English);
    setenv("LANGUAGE", "zh_CN", 1);
    EXPECT_EQ(ChooseInterfaceLanguage(), UiLanguage::SimplifiedChinese);
    for (int i = 0; i < 4; ++i) {
        if (had[i]) {
            setenv(names[i], saved[i].c_str(), 1);
        } else {
            unsetenv(names[i]);
        }
    }
    SetCurrentLanguage(UiLanguage::English);
}

TEST(StringTable, AllRowsInAllLanguages) {
    int found = 0;
    for (int id = 1000; id <= 1399; ++id) {
        const std::string english = LoadString(id, UiLanguage::English);
        if (english.empty()) {
            continue;
        }
        ++found;
        EXPECT_FALSE(LoadString(id, UiLanguage::TraditionalChinese).empty()) << id;
        EXPECT_FALSE(LoadString(id, UiLanguage::SimplifiedChinese).empty()) << id;
    }
    EXPECT_EQ(found, StringTableRowCount());
    EXPECT_EQ(LoadString(1001, UiLanguage::English), "");
    EXPECT_EQ(LoadString(1074, UiLanguage::English),
              "The upgrade is complete (but the version has not changed).");
    EXPECT_EQ(LoadString(1058, UiLanguage::English),
              "Fail to get Ai version infomation\xEF\xBC\x81");
    EXPECT_EQ(LoadString(1016, UiLanguage::TraditionalChinese), "升級成功！");
}

TEST(StringTable, TitleIsAppNameWithVersion) {
    SetCurrentLanguage(UiLanguage::English);
    // The project's version (CMakeLists.txt), written out: built with the
    // code under test the expectation would follow any mistake of it.
    EXPECT_EQ(MainWindowTitle(), "Batch Firmhand v1.0.0.0");
}
