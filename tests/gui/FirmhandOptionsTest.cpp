#include <gtest/gtest.h>

#include "FirmhandOptions.h"

namespace {

bool Parse(std::vector<std::string> args, FIRMHAND_OPTIONS& options, std::string& error) {
    return ParseFirmhandOptions(args, options, error);
}

}  // namespace

TEST(FirmhandOptions, ValuesInBothForms) {
    FIRMHAND_OPTIONS options;
    std::string error;
    ASSERT_TRUE(Parse({"--adapter", "", "--search-targets=127.0.0.5:4000,cam", "--package",
                       "/tmp/fw 1.bin", "--auto-start", "8"},
                      options, error))
        << error;
    ASSERT_TRUE(options.adapter.has_value());
    EXPECT_EQ(*options.adapter, "");  // every adapter
    EXPECT_EQ(*options.searchTargets, "127.0.0.5:4000,cam");
    EXPECT_EQ(options.packagePath, "/tmp/fw 1.bin");
    EXPECT_EQ(options.autoStartCount, 8);
    ASSERT_TRUE(Parse({"--adapter=eth0", "--version"}, options, error));
    EXPECT_EQ(*options.adapter, "eth0");
    EXPECT_TRUE(options.showVersion);
}

TEST(FirmhandOptions, MistakesAreRefused) {
    FIRMHAND_OPTIONS options;
    std::string error;
    for (const auto& args : std::vector<std::vector<std::string>>{{"--adapter"},
                                                                  {"--package", ""},
                                                                  {"--auto-start", "0"},
                                                                  {"--auto-start", "3x"},
                                                                  {"--adapterx"},
                                                                  {"extra"}}) {
        EXPECT_FALSE(Parse(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}
