#include <sys/wait.h>
#include <unistd.h>

#include "files_fixture.h"

namespace quendrel {
namespace {

using FileLocksTest = FilesFixture;

struct LockCase {
    const char* label;
    int32_t first_mode, first_access, first_lock;
    int32_t second_mode, second_access, second_lock;
    int32_t error;  // of the second opening
};
void PrintTo(const LockCase& c, std::ostream* os) { *os << c.label; }


// The second opening is refused when either one's lock clause forbids what
// the other does.
constexpr LockCase kLockCases[] = {
    {"LockReadWriteStopsReaders", kOpenBinary, kAccessReadWrite, kLockReadWrite, kOpenInput, kAccessNone, kLockNone, 70},
    {"LockReadWriteStopsWriters", kOpenBinary, kAccessReadWrite, kLockReadWrite, kOpenAppend, kAccessNone, kLockNone, 70},
    {"LockReadStopsReaders", kOpenBinary, kAccessReadWrite, kLockRead, kOpenBinary, kAccessRead, kLockNone, 70},
    {"LockReadLetsWritersIn", kOpenBinary, kAccessReadWrite, kLockRead, kOpenBinary, kAccessWrite, kLockNone, 0},
    {"LockWriteStopsWriters", kOpenBinary, kAccessReadWrite, kLockWrite, kOpenBinary, kAccessWrite, kLockNone, 70},
    {"LockWriteLetsReadersIn", kOpenBinary, kAccessReadWrite, kLockWrite, kOpenInput, kAccessNone, kLockNone, 0},
    {"SharedLetsAllIn", kOpenBinary, kAccessReadWrite, kLockShared, kOpenBinary, kAccessReadWrite, kLockShared, 0},
    {"NoLocksLetAllIn", kOpenRandom, kAccessNone, kLockNone, kOpenRandom, kAccessNone, kLockNone, 0},
    {"ReaderStopsLockRead", kOpenInput, kAccessNone, kLockNone, kOpenBinary, kAccessWrite, kLockRead, 70},
    {"WriterStopsLockWrite", kOpenAppend, kAccessNone, kLockNone, kOpenBinary, kAccessRead, kLockWrite, 70},
    {"WriteOnlyOpeningIsSeen", kOpenOutput, kAccessNone, kLockNone, kOpenInput, kAccessNone, kLockWrite, 70},
    {"WriteOnlyOpeningLocks", kOpenOutput, kAccessNone, kLockRead, kOpenInput, kAccessNone, kLockNone, 70},
    {"ReaderAllowsLockWrite", kOpenInput, kAccessNone, kLockNone, kOpenInput, kAccessNone, kLockWrite, 0},
};

class LockClauseTest : public FilesFixture, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockClauseTest, SecondOpeningSeesTheRules) {
    const LockCase& c = GetParam();
    write_file("f", "data");
    open("f", c.first_mode, 1, c.first_access, c.first_lock);
    ASSERT_EQ(take_error(), 0);
    open("f", c.second_mode, 2, c.second_access, c.second_lock);
    EXPECT_EQ(take_error(), c.error);
    EXPECT_EQ(files.handle_of(2) >= 0, c.error == 0);
    // Closing the first lifts its rules.
    files.file_close(2, true);
    files.file_close(1, true);
    open("f", c.second_mode, 2, c.second_access, c.second_lock);
    EXPECT_EQ(take_error(), 0);
}

INSTANTIATE_TEST_SUITE_P(Clauses, LockClauseTest, ::testing::ValuesIn(kLockCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(FileLocksTest, RefusedOutputOpeningLeavesTheFileWhole) {
    write_file("f", "precious");
    open("f", kOpenBinary, 1, kAccessRead, kLockWrite);
    open("f", kOpenOutput, 2);
    EXPECT_EQ(take_error(), 70);
    EXPECT_EQ(read_file("f"), "precious");
}

TEST_F(FileLocksTest, RandomAndBinaryFallBackToReadOnlyThenWriteOnly) {
    write_file("f", "abc");
    char byte = 0;

    open("f", kOpenBinary, 1, kAccessRead, kLockWrite);
    open("f", kOpenBinary, 2);  // no access clause: read only is left
    ASSERT_EQ(take_error(), 0);
    files.file_get(2, 1, &byte, 1, true);
    EXPECT_EQ(byte, 'a');
    files.file_put(2, 1, "Z", 1, true);
    EXPECT_EQ(take_error(), 75);
    files.file_close(0, false);

    open("f", kOpenBinary, 1, kAccessWrite, kLockRead);
    open("f", kOpenRandom, 2);  // write only is left
    ASSERT_EQ(take_error(), 0);
    files.file_get(2, 1, &byte, 1, true);
    EXPECT_EQ(take_error(), 75);
    files.file_put(2, 1, "Z", 1, true);
    EXPECT_EQ(take_error(), 0);
    files.file_close(0, false);
    EXPECT_EQ(read_file("f"), "Zbc");

    // With an access clause there is no fallback.
    open("f", kOpenBinary, 1, kAccessRead, kLockWrite);
    open("f", kOpenBinary, 2, kAccessReadWrite, kLockNone);
    EXPECT_EQ(take_error(), 70);
}

// A second process of the runtime sees the first one's lock clause.
TEST_F(FileLocksTest, AnotherProcessSeesTheLockClause) {
    write_file("f", "data");
    int to_parent[2], to_child[2];
    ASSERT_EQ(pipe(to_parent), 0);
    ASSERT_EQ(pipe(to_child), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child holds the file with "others may not write".
        FilesFixture::open("f", kOpenBinary, 1, kAccessWrite, kLockWrite);
        char status = run.pending_error.load() == 0 ? 'k' : 'e';
        char go = 0;
        if (write(to_parent[1], &status, 1) != 1 || read(to_child[0], &go, 1) != 1) _exit(2);
        // Now the parent holds it for reading with "others may not read".
        FilesFixture::open("f", kOpenInput, 2);
        int32_t refused = run.pending_error.exchange(0);
        files.close_all();
        _exit(refused == 70 ? 0 : 1);
    }
    char status = 0;
    ASSERT_EQ(read(to_parent[0], &status, 1), 1);
    ASSERT_EQ(status, 'k');
    open("f", kOpenOutput, 1);
    EXPECT_EQ(take_error(), 70);
    EXPECT_EQ(read_file("f"), "data");
    open("f", kOpenInput, 1);  // reading stays allowed
    EXPECT_EQ(take_error(), 0);
    files.file_close(1, true);

    open("f", kOpenBinary, 1, kAccessRead, kLockRead);
    ASSERT_EQ(take_error(), 0);
    char go = 'g';
    ASSERT_EQ(write(to_child[1], &go, 1), 1);
    int child_status = 0;
    ASSERT_EQ(waitpid(child, &child_status, 0), child);
    ASSERT_TRUE(WIFEXITED(child_status));
    EXPECT_EQ(WEXITSTATUS(child_status), 0);
    for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) close(fd);
}

}  // namespace
}  // namespace quendrel
