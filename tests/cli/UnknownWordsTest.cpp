// Typos on the command line: each unknown word is named first, in the
// order typed, with the command or option it was probably meant to be.
#include <gtest/gtest.h>

#include "CliApp.h"
#include "UnknownWords.h"

namespace {

// The program's standard error for `args`, run in this process.
std::string ErrorOf(std::vector<std::string> args, int& status) {
    args.insert(args.begin(), "firmhand-cli");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    testing::internal::CaptureStderr();
    status = RunCli(static_cast<int>(argv.size()), argv.data(), SESSION_OPTIONS{});
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(UnknownWords, NearestWordTakesTyposNotStrangers) {
    EXPECT_EQ(NearestWord("scna", {"scan", "upgrade", "runs", "ai-versions"}), "scan");
    EXPECT_EQ(NearestWord("--paralel", {"--parallel", "--package"}), "--parallel");
    EXPECT_EQ(NearestWord("foo", {"scan", "upgrade", "runs", "ai-versions"}), "");
    EXPECT_EQ(NearestWord("x", {}), "");
}

TEST(UnknownWords, UnknownCommandsAndOptionsAreNamedWithASuggestion) {
    int status = 0;
    std::string err = ErrorOf({"scna"}, status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("unknown command \"scna\"; did you mean \"scan\"?"), std::string::npos)
        << err;

    err = ErrorOf({"upgrade", "--pakage", "fw.bin", "--all", "--paralel", "4"}, status);
    EXPECT_EQ(status, 2);
    const size_t first = err.find("unknown option \"--pakage\"; did you mean \"--package\"?");
    const size_t second = err.find("unknown option \"--paralel\"; did you mean \"--parallel\"?");
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_NE(second, std::string::npos) << err;
    EXPECT_LT(first, second) << "in the order typed";
}
