#include <sys/stat.h>

#include <cstring>

#include "files_fixture.h"

namespace quendrel {
namespace {

using FileOpenTest = FilesFixture;

struct OpenCase {
    const char* label;
    int32_t mode;
    bool existing;         // the file holds "0123456789" before the open
    int32_t error;
    bool exists_after;
    const char* content_after;  // after open and close
};
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.label; }


class OpenModeTest : public FilesFixture, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenModeTest, CreatesTruncatesOrRefusesAsTheModeSays) {
    const OpenCase& c = GetParam();
    if (c.existing) write_file("f", "0123456789");
    open("f", c.mode, 1);
    EXPECT_EQ(take_error(), c.error);
    files.file_close(1, true);
    ASSERT_EQ(exists("f"), c.exists_after);
    if (c.exists_after) {
        EXPECT_EQ(read_file("f"), c.content_after);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, OpenModeTest,
    ::testing::Values(OpenCase{"InputMissing", kOpenInput, false, 53, false, ""},
                      OpenCase{"InputExisting", kOpenInput, true, 0, true, "0123456789"},
                      OpenCase{"OutputCreates", kOpenOutput, false, 0, true, ""},
                      OpenCase{"OutputEmptiesTenBytes", kOpenOutput, true, 0, true, ""},
                      OpenCase{"AppendCreates", kOpenAppend, false, 0, true, ""},
                      OpenCase{"AppendKeeps", kOpenAppend, true, 0, true, "0123456789"},
                      OpenCase{"RandomCreates", kOpenRandom, false, 0, true, ""},
                      OpenCase{"RandomKeeps", kOpenRandom, true, 0, true, "0123456789"},
                      OpenCase{"RandomAsZero", 0, true, 0, true, "0123456789"},
                      OpenCase{"BinaryCreates", kOpenBinary, false, 0, true, ""},
                      OpenCase{"BinaryKeeps", kOpenBinary, true, 0, true, "0123456789"}),
    [](const auto& info) { return std::string(info.param.label); });

// Write through each mode, close, and compare the bytes on disk: nothing is
// lost, and only output mode truncates.
TEST_F(FileOpenTest, WrittenBytesSurviveCloseAndReopenInEveryMode) {
    struct Case {
        int32_t mode;
        const char* expected;
    } cases[] = {
        {kOpenRandom, "AB23456789"},
        {kOpenBinary, "0AB3456789"},
        {kOpenOutput, "AB\r\n"},
        {kOpenAppend, "0123456789AB\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        write_file("f", "0123456789");
        if (c.mode == kOpenRandom) open_random("f", 1, 2);
        else open("f", c.mode, 1);
        if (c.mode == kOpenRandom) files.file_put(1, 1, "AB", 2, true);
        else if (c.mode == kOpenBinary) files.file_put(1, 2, "AB", 2, true);
        else print(1, "AB", false, false, true);
        files.file_close(1, true);
        ASSERT_EQ(take_error(), 0);
        EXPECT_EQ(read_file("f"), c.expected);

        // And read back through the file system itself.
        open("f", kOpenBinary, 2);
        std::string back(std::strlen(c.expected), '?');
        files.file_get(2, 1, back.data(), int64_t(back.size()), true);
        EXPECT_EQ(back, c.expected);
        EXPECT_EQ(files.file_at_end(2), 0);
        files.file_close(2, true);
        ASSERT_EQ(take_error(), 0);
    }
}

TEST_F(FileOpenTest, AppendCreatesThenAppends) {
    open("log", kOpenAppend, 1);
    print(1, "one", false, false, true);
    files.file_close(1, true);
    open("log", kOpenAppend, 1);
    EXPECT_EQ(files.file_position(1), 6);  // starts at the end
    print(1, "two", false, false, true);
    files.file_close(1, true);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(read_file("log"), "one\r\ntwo\r\n");
}

TEST_F(FileOpenTest, CtrlZAsFirstByteMakesAnInputFileEmpty) {
    struct Case {
        const char* content;
        int32_t eof;
    } cases[] = {{"", -1}, {"\x1a" "abc", -1}, {"abc", 0}, {"a\x1a", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        write_file("f", c.content);
        open("f", kOpenInput, 1);
        EXPECT_EQ(files.file_at_end(1), c.eof);
        EXPECT_EQ(files.file_position(1), 1);  // moved back to the start
        EXPECT_EQ(files.file_length(1), int64_t(std::strlen(c.content)));
        files.file_close(1, true);
        EXPECT_EQ(take_error(), 0);
    }
}

TEST_F(FileOpenTest, RefusedOpensRaiseTheirErrors) {
    mkdir(path("dir").c_str(), 0755);
    write_file("here", "x");
    struct Case {
        const char* label;
        std::string name;
        int32_t mode;
        int32_t number;
        int64_t record_length;
        bool length_given;
        int32_t error;
    } cases[] = {
        {"NumberZero", path("a"), kOpenOutput, 0, -1, false, 52},
        {"NumberNegative", path("a"), kOpenOutput, -4, -1, false, 52},
        {"LengthZero", path("a"), kOpenRandom, 1, 0, true, 5},
        {"LengthBelowMinusOne", path("a"), kOpenRandom, 1, -2, true, 5},
        {"BadMode", path("a"), 6, 1, -1, false, 5},
        {"MissingFolder", path("nowhere/a"), kOpenOutput, 1, -1, false, 76},
        {"MissingFolderInput", path("nowhere/a"), kOpenInput, 1, -1, false, 76},
        {"FileAsFolder", path("here/a"), kOpenOutput, 1, -1, false, 76},
        {"Folder", path("dir"), kOpenInput, 1, -1, false, 70},
        {"FolderForOutput", path("dir"), kOpenOutput, 1, -1, false, 70},
        {"ZeroByteInName", path("a") + std::string(1, '\0') + "b", kOpenOutput, 1, -1, false, 64},
        {"ComPort", "COM1:", kOpenRandom, 1, -1, false, 68},
        {"ComPortOptions", "com12:9600,N,8,1,CS0", kOpenRandom, 1, -1, false, 68},
        {"ComPortZero", "COM0:", kOpenRandom, 1, -1, false, 64},
        {"ComPortTooHigh", "COM256:", kOpenRandom, 1, -1, false, 64},
        {"ComPortNoColon", "COM1", kOpenRandom, 1, -1, false, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        StringDescriptor* name = heap.string_literal(c.name.data(), uint32_t(c.name.size()));
        files.file_open(name, c.mode, kAccessNone, kLockNone, c.number, c.record_length,
                        c.length_given);
        EXPECT_EQ(take_error(), c.error);
        EXPECT_EQ(files.free_file_number(), 1);  // nothing stayed open
    }
    EXPECT_FALSE(exists("a"));
}

TEST_F(FileOpenTest, NamesThatOnlyLookLikeDevicesAreFiles) {
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    for (const char* name : {"COMMAND.TXT", "SCRN", "scr:"}) {
        SCOPED_TRACE(name);
        files.file_open(literal(name), kOpenOutput, kAccessNone, kLockNone, 1, -1, false);
        files.file_close(1, true);
        EXPECT_EQ(take_error(), 0);
        EXPECT_TRUE(exists(name));
    }
    std::filesystem::current_path(before);
}

TEST_F(FileOpenTest, NumberInUseAndShortFormModes) {
    open("a", kOpenOutput, 3);
    open("b", kOpenOutput, 3);
    EXPECT_EQ(take_error(), 55);
    EXPECT_FALSE(exists("b"));

    struct Case {
        const char* letter;
        int32_t error;
        uint8_t mode;
    } cases[] = {{"R", 0, kModeRandom}, {"binary", 0, kModeBinary}, {"i", 0, kModeInput},
                 {"O", 0, kModeOutput}, {"a", 0, kModeOutput},    {"X", 54, 0},
                 {"", 54, 0}};
    write_file("s", "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        files.file_open_short(literal(c.letter), 1, literal(path("s").c_str()), -1, false);
        EXPECT_EQ(take_error(), c.error);
        if (c.error == 0) {
            EXPECT_EQ(files.handles().get(files.handle_of(1))->mode, c.mode);
        }
        files.file_close(1, true);
    }
    open("s", kOpenInput, 1);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(FileOpenTest, FreeFileAndRecordReuse) {
    open("a", kOpenOutput, 1);
    open("b", kOpenOutput, 2);
    EXPECT_EQ(files.free_file_number(), 3);
    files.file_close(1, true);
    EXPECT_EQ(files.free_file_number(), 1);
    open("c", kOpenOutput, 1);
    EXPECT_EQ(files.handles().record_count(), 2u);  // the closed record was reused

    open("far", kOpenOutput, 2000000000);  // a huge number costs nothing
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(files.free_file_number(), 3);

    files.file_close(7, true);  // a free number does nothing
    files.file_close(-1, true);
    EXPECT_EQ(take_error(), 0);
    files.file_close(0, false);  // CLOSE without numbers
    EXPECT_EQ(files.free_file_number(), 1);
    EXPECT_EQ(files.handle_of(2000000000), -1);
}

TEST_F(FileOpenTest, CloseAllRunsEvenWithAnErrorPending) {
    open("a", kOpenOutput, 1);
    open("b", kOpenOutput, 5);
    errors.raise_error(5);
    files.file_close(0, false);  // the statement does nothing
    EXPECT_EQ(files.handle_of(1) >= 0, true);
    files.close_all();  // program end and the shutdown
    EXPECT_EQ(files.handle_of(1), -1);
    EXPECT_EQ(files.handle_of(5), -1);
}

TEST_F(FileOpenTest, PendingErrorMakesEveryStatementANoOp) {
    write_file("f", "abc");
    open("f", kOpenBinary, 1);
    errors.raise_error(13);
    open("g", kOpenOutput, 2);
    char byte = 'z';
    files.file_put(1, 1, "Q", 1, true);
    files.file_get(1, 1, &byte, 1, true);
    files.file_seek(1, 2);
    EXPECT_EQ(files.file_length(1), 0);
    EXPECT_EQ(files.free_file_number(), 0);
    EXPECT_EQ(take_error(), 13);
    EXPECT_FALSE(exists("g"));
    EXPECT_EQ(byte, 'z');
    EXPECT_EQ(read_file("f"), "abc");
    EXPECT_EQ(files.file_position(1), 1);
}

TEST_F(FileOpenTest, ScreenDeviceHasNoLengthEndOrLocation) {
    files.file_open(literal("scrn:"), kOpenOutput, kAccessNone, kLockNone, 1, -1, false);
    ASSERT_EQ(take_error(), 0);
    EXPECT_EQ(files.file_position(1), 0);
    EXPECT_EQ(take_error(), 0);
    files.file_length(1);
    EXPECT_EQ(take_error(), 5);
    files.file_at_end(1);
    EXPECT_EQ(take_error(), 5);
    files.file_location(1);
    EXPECT_EQ(take_error(), 5);
    files.file_close(1, true);
    EXPECT_EQ(files.free_file_number(), 1);
}

TEST_F(FileOpenTest, StatementsOnAFreeNumberRaise52) {
    char byte = 0;
    files.file_length(4);
    EXPECT_EQ(take_error(), 52);
    files.file_at_end(4);
    EXPECT_EQ(take_error(), 52);
    files.file_seek(4, 1);
    EXPECT_EQ(take_error(), 52);
    files.file_get(4, 1, &byte, 1, true);
    EXPECT_EQ(take_error(), 52);
    print(4, "x", false, false, true);
    EXPECT_EQ(take_error(), 52);
    EXPECT_EQ(line_input(4), "old");
    EXPECT_EQ(take_error(), 52);
}

}  // namespace
}  // namespace quendrel
