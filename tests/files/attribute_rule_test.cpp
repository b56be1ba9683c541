// The status file's attribute rule on posix: only a file without write
// permission is touched, and a file the library cannot make writable (it
// belongs to another user) is left where it is.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/status_record.h"
#include "files_fixture.h"

namespace sl::test {
namespace {

constexpr uid_t kOtherOwner = 12345;   // owns the companion's file
constexpr uid_t kLibraryUser = 65534;  // runs the library

using AttributeRule = FilesTest;

// The rule's result when the library runs as kLibraryUser; -100 when the
// child could not run as that user.
int RuleAsOtherUser(const std::string &path) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kLibraryUser) != 0 || setuid(kLibraryUser) != 0) _exit(0);
        _exit(ApplyAttributeRule(path) + 10);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -100;
    return WEXITSTATUS(status) == 0 ? -100 : WEXITSTATUS(status) - 10;
}

TEST_F(AttributeRule, AnotherUsersFileIsNeverDeleted) {
    const struct {
        const char *name;
        mode_t mode;
        int result;
    } cases[] = {
        {"writable: nothing to do", 0666, 1},
        {"read-only: cannot be cleared, left in place", 0444, -1},
    };
    std::filesystem::create_directory(dir_);
    // Only a real root can hand a file to another user (not the root of a
    // user namespace, which maps no other user).
    WriteBytes(StatusPath(), {});
    if (chown(StatusPath().c_str(), kOtherOwner, kOtherOwner) != 0)
        GTEST_SKIP() << "cannot hand a file to another user here";
    // The folder lets the library's user delete, so only the rule keeps the file.
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(StatusPath(), std::vector<uint8_t>(288, 7));
        ASSERT_EQ(chown(StatusPath().c_str(), kOtherOwner, kOtherOwner), 0);
        ASSERT_EQ(chmod(StatusPath().c_str(), c.mode), 0);
        EXPECT_EQ(RuleAsOtherUser(StatusPath()), c.result);
        struct stat st;
        ASSERT_EQ(stat(StatusPath().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(ReadBytes(StatusPath()), std::vector<uint8_t>(288, 7));
    }
}

}  // namespace
}  // namespace sl::test
