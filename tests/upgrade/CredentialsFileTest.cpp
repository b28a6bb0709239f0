// The credentials file is read only when it is the user's alone, judged on
// the descriptor that is read: a link or a file others may read is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "upgrade/CredentialsFile.h"

TEST(CredentialsFile, OnlyTheUsersOwnFileIsReadAndNeverThroughALink) {
    testing_support::CSandbox box;
    box.Write("site.credentials", "* admin s3cret\n");
    const std::string path = box.File("site.credentials");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    std::vector<CREDENTIAL_ENTRY> entries;
    std::string error;
    ASSERT_TRUE(LoadCredentialsFile(path, entries, error)) << error;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].password, "s3cret");

    // A link, even to that very file, is refused: its target could change.
    const std::string link = box.File("link.credentials");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(LoadCredentialsFile(link, entries, error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;

    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    EXPECT_FALSE(LoadCredentialsFile(path, entries, error));
    EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;

    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(LoadCredentialsFile(path, entries, error));
        EXPECT_NE(error.find("owned by another user"), std::string::npos) << error;
    }
    EXPECT_FALSE(LoadCredentialsFile(box.File("missing"), entries, error));
}
