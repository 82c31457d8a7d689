#include "files_fixture.h"

namespace quendrel {
namespace {

using namespace std::string_literals;
using TextLinesTest = FilesFixture;

TEST_F(TextLinesTest, LineInputOfInputFiles) {
    struct Case {
        const char* label;
        std::string content;
        std::vector<std::string> lines;
    } cases[] = {
        {"NoFinalLineEnd", "AB\r\nCD", {"AB", "CD"}},
        {"EveryLineEndKind", "a\rb\nc\r\nd\n\re\r\n", {"a", "b", "c", "d", "e"}},
        {"EmptyLinesAndCommas", "\r\n,\"x\" ,\r\n", {"", ",\"x\" ,"}},
        {"CtrlZInTheMiddle", "ab\r\ncd\x1a" "ef\r\n", {"ab", "cd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        write_file("f", c.content);
        open("f", kOpenInput, 1);
        for (const std::string& line : c.lines) {
            EXPECT_EQ(files.file_at_end(1), 0);
            EXPECT_EQ(line_input(1), line);
        }
        EXPECT_EQ(take_error(), 0);
        EXPECT_EQ(files.file_at_end(1), -1);
        EXPECT_EQ(line_input(1), "");
        EXPECT_EQ(take_error(), 62);
        files.file_close(1, true);
    }
}

TEST_F(TextLinesTest, LineInputOfBinaryFilesReadsUpToLineFeeds) {
    std::string long_line(3000, 'x');
    long_line[511] = '\r';  // a CR not before the LF stays
    struct Case {
        const char* label;
        std::string content;
        std::vector<std::string> lines;
        std::vector<int64_t> positions;  // SEEK after each line
    } cases[] = {
        {"NoFinalLineEnd", "AB\r\nCD", {"AB", "CD"}, {5, 7}},
        {"OnlyLineFeedsCount", "a\rb\n\nc\x1a\r\n", {"a\rb", "", "c\x1a"}, {5, 6, 10}},
        {"LongerThanTheChunks", long_line + "\r\nnext", {long_line, "next"}, {3003, 3007}},
        {"LineFeedAtChunkEdge", std::string(511, 'y') + "\n" + std::string(2000, 'z'),
         {std::string(511, 'y'), std::string(2000, 'z')}, {513, 2513}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        write_file("f", c.content);
        open("f", kOpenBinary, 1);
        for (size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(line_input(1), c.lines[i]);
            EXPECT_EQ(files.file_position(1), c.positions[i]);
            EXPECT_EQ(files.file_at_end(1), i + 1 == c.lines.size() ? -1 : 0);
        }
        EXPECT_EQ(take_error(), 0);
        EXPECT_EQ(line_input(1), "old");
        EXPECT_EQ(take_error(), 62);
        files.file_close(1, true);
    }
}

TEST_F(TextLinesTest, LineInputRefusesOtherFiles) {
    open("o", kOpenOutput, 1);
    write_file("r", "x\n");
    open_random("r", 2, 10);
    EXPECT_EQ(line_input(1), "old");
    EXPECT_EQ(take_error(), 75);  // not readable comes first
    EXPECT_EQ(line_input(2), "old");
    EXPECT_EQ(take_error(), 54);
}

TEST_F(TextLinesTest, InputCharsFromInputFiles) {
    write_file("f", "abc");
    open("f", kOpenInput, 1);
    EXPECT_EQ(text(text_files.input_chars(2, 1, true)), "ab");
    EXPECT_EQ(files.file_at_end(1), 0);
    EXPECT_EQ(text(text_files.input_chars(1, 1, true)), "c");
    EXPECT_EQ(files.file_at_end(1), -1);  // true with the last byte taken
    EXPECT_EQ(take_error(), 0);

    files.file_close(1, true);
    open("f", kOpenInput, 1);
    EXPECT_EQ(text(text_files.input_chars(3, 1, true)), "abc");
    EXPECT_EQ(files.file_at_end(1), -1);

    write_file("z", "ab\x1a" "cd");
    open("z", kOpenInput, 2);
    EXPECT_EQ(text(text_files.input_chars(2, 2, true)), "ab");
    EXPECT_EQ(files.file_at_end(2), -1);  // the mark counts as the end
    EXPECT_EQ(text(text_files.input_chars(1, 2, true)), "");
    EXPECT_EQ(take_error(), 62);
}

TEST_F(TextLinesTest, InputCharsFromBinaryFilesReturnsWhatIsThere) {
    write_file("f", "ab\x1a" "c");
    open("f", kOpenBinary, 1);
    EXPECT_EQ(text(text_files.input_chars(3, 1, true)), "ab\x1a");
    EXPECT_EQ(files.file_at_end(1), 0);
    EXPECT_EQ(text(text_files.input_chars(2000000000, 1, true)), "c");
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(files.file_at_end(1), -1);
    EXPECT_EQ(files.file_position(1), 5);
}

TEST_F(TextLinesTest, InputCharsArgumentsAndModes) {
    open("o", kOpenOutput, 1);
    write_file("r", "x");
    open_random("r", 2, 10);
    open("r", kOpenInput, 3, kAccessWrite);
    struct Case {
        int32_t count, number;
        int32_t error;
    } cases[] = {{-1, 3, 52}, {1, 9, 52}, {1, 1, 62}, {1, 2, 62}, {1, 3, 75}, {0, 9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count * 100 + c.number);
        EXPECT_EQ(text(text_files.input_chars(c.count, c.number, true)), "");
        EXPECT_EQ(take_error(), c.error);
    }
}

TEST_F(TextLinesTest, InputCharsFromTheKeyboardTakesTheFirstByteOfEachKey) {
    keys.keys = {"a", "", "\0H"s, "", "", "b", "c"};
    uint32_t before = heap.temp_count();
    EXPECT_EQ(text(text_files.input_chars(3, 0, false)), "a\0b"s);
    EXPECT_EQ(keys.polls, 6);
    EXPECT_EQ(heap.temp_count(), before + 1);  // only the result is left
}

TEST_F(TextLinesTest, InputCharsFromTheKeyboardEndsAtShutdown) {
    keys.keys = {"a"};
    run.stop_threads = 1;
    run.pending_event = 1;  // must not reach the checkpoint, which would halt
    EXPECT_EQ(text(text_files.input_chars(2, 0, false)), "");
    EXPECT_EQ(keys.polls, 0);
}

TEST_F(TextLinesTest, InputCharsFromTheKeyboardRunsTheCheckpoint) {
    keys.keys = {"", "", "k"};
    run.pending_event = 1;
    EXPECT_EQ(text(text_files.input_chars(1, 0, false)), "k");
    EXPECT_EQ(run.pending_event.load(), 0);  // the checkpoint cleared it
}

}  // namespace
}  // namespace quendrel
