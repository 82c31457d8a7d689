#include <string>

#include "files_fixture.h"

namespace quendrel {
namespace {

using FileRecordsTest = FilesFixture;

std::string counting_bytes(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char(i);
    return s;
}

TEST_F(FileRecordsTest, RandomSeekLocAndGetStepByRecords) {
    write_file("r", counting_bytes(100));
    open_random("r", 1, 10);
    files.file_seek(1, 3);
    EXPECT_EQ(files.handles().get(files.handle_of(1))->position, 20);
    EXPECT_EQ(files.file_location(1), 3);
    uint8_t block[10] = {};
    files.file_get(1, 0, block, 4, false);
    EXPECT_EQ(block[0], 20);
    EXPECT_EQ(block[3], 23);
    EXPECT_EQ(files.handles().get(files.handle_of(1))->position, 30);
    EXPECT_EQ(files.file_position(1), 4);

    files.file_get(1, 2, block, 4, true);
    EXPECT_EQ(block[0], 10);
    files.file_get(1, 0, block, 10, false);  // a whole record needs no step
    EXPECT_EQ(block[0], 20);
    EXPECT_EQ(files.file_position(1), 4);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(FileRecordsTest, RandomPutsWithoutNumbersFillConsecutiveRecords) {
    open_random("r", 1, 10);
    files.file_put(1, 0, "ab", 2, false);
    files.file_put(1, 0, "cd", 2, false);
    files.file_put(1, 5, "ef", 2, true);
    files.file_close(1, true);
    EXPECT_EQ(take_error(), 0);
    std::string expected = "ab" + std::string(8, '\0') + "cd" + std::string(28, '\0') + "ef";
    EXPECT_EQ(read_file("r"), expected);
}

TEST_F(FileRecordsTest, GetPastTheEndFillsZerosAndSetsEofWithoutError) {
    write_file("b", "xyz");
    open("b", kOpenBinary, 1);
    char block[5] = {'?', '?', '?', '?', '?'};
    files.file_get(1, 2, block, 5, true);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(std::string(block, 5), std::string("yz\0\0\0", 5));
    EXPECT_EQ(files.file_at_end(1), -1);
    EXPECT_EQ(files.file_position(1), 4);  // where the read stopped

    files.file_get(1, 1, block, 1, true);  // a complete read clears it again
    EXPECT_EQ(files.file_at_end(1), 0);

    // A short read in a random file leaves the position where it stopped.
    open_random("b", 2, 2);
    files.file_get(2, 2, block, 2, true);
    EXPECT_EQ(std::string(block, 2), std::string("z\0", 2));
    EXPECT_EQ(files.handles().get(files.handle_of(2))->position, 3);
    EXPECT_EQ(files.file_at_end(2), -1);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(FileRecordsTest, TransferChecksRaiseTheirErrors) {
    write_file("f", "0123456789");
    open_random("f", 1, 4);
    open("f", kOpenInput, 2);
    open("f", kOpenBinary, 3);
    char block[8] = {};
    struct Case {
        const char* label;
        int32_t number;
        int64_t record;
        int64_t size;
        bool given;
        bool put;
        int32_t error;
    } cases[] = {
        {"LongerThanRecord", 1, 1, 5, true, false, 59},
        {"PutLongerThanRecord", 1, 1, 5, true, true, 59},
        {"RecordZero", 1, 0, 2, true, false, 63},
        {"RecordHuge", 1, INT64_MAX, 2, true, true, 63},
        {"BinaryPositionZero", 3, 0, 2, true, false, 63},
        {"InputMode", 2, 1, 2, true, false, 54},
        {"NegativeSize", 3, 1, -1, true, false, 5},
        {"NotOpen", 9, 1, 1, true, false, 52},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.put) files.file_put(c.number, c.record, block, c.size, c.given);
        else files.file_get(c.number, c.record, block, c.size, c.given);
        EXPECT_EQ(take_error(), c.error);
    }
    files.file_seek(1, 0);
    EXPECT_EQ(take_error(), 63);
    files.file_seek(3, 0);
    EXPECT_EQ(take_error(), 63);
    EXPECT_EQ(read_file("f"), "0123456789");
}

TEST_F(FileRecordsTest, StringRecordsCarryTheirLengthPrefix) {
    struct Case {
        size_t length;
        int64_t record_length;
        int32_t error;
        size_t prefix;
    } cases[] = {
        {0, 2, 0, 2},
        {5, 7, 0, 2},
        {5, 6, 59, 2},
        {20000, 20001, 59, 2},
        {20000, 20002, 0, 2},
        {32767, 32769, 0, 2},
        {40000, 40007, 59, 8},
        {40000, 40008, 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string value(c.length, 'q');
        if (c.length) value[c.length - 1] = 'z';
        open_random("s", 1, c.record_length);
        StringDescriptor* s = heap.string_new(uint32_t(c.length), true);
        for (size_t i = 0; i < c.length; ++i) s->text[i] = uint8_t(value[i]);
        files.file_put_string(1, 1, s, true);
        ASSERT_EQ(take_error(), c.error);
        if (c.error == 0) {
            files.file_close(1, true);
            std::string disk = read_file("s");
            ASSERT_EQ(disk.size(), c.prefix + c.length);
            EXPECT_EQ(disk.substr(c.prefix), value);
            if (c.prefix == 2) {
                EXPECT_EQ(uint8_t(disk[0]) | uint8_t(disk[1]) << 8, int(c.length));
            } else {
                EXPECT_EQ(uint8_t(disk[0]) | uint8_t(disk[1]) << 8, int((c.length & 0x7FFF) | 0x8000));
                EXPECT_EQ(uint8_t(disk[2]), c.length / 32768);
            }
            open_random("s", 1, c.record_length);
            StringDescriptor* back = variable("old");
            files.file_get_string(1, 1, back, true);
            EXPECT_EQ(take_error(), 0);
            EXPECT_EQ(text(back), value);
            EXPECT_EQ(files.file_position(1), 2);
        }
        files.file_close(1, true);
        std::filesystem::remove(path("s"));
    }
}

TEST_F(FileRecordsTest, StringRecordReadsCheckTheLength) {
    using namespace std::string_literals;
    struct Case {
        const char* label;
        std::string file;
        int64_t record_length;
        int32_t error;
        std::string value;
    } cases[] = {
        {"Fits", "\x03\x00" "abcXX"s, 7, 0, "abc"},
        {"ShortRecordPadsWithZeros", "\x03\x00" "a"s, 7, 0, "a\0\0"s},
        {"LongerThanRecord", "\x06\x00" "abcdef"s, 7, 59, "old"},
        {"LongFormInSmallRecord", "\x01\x80" "abcde"s, 7, 59, "old"},
        {"LongFormWithHighPart", "\x00\x80\x01\x00\x00\x00\x00\x00"s, 8, 59, "old"},
        {"LongFormOfShortText", "\x02\x80\x00\x00\x00\x00\x00\x00" "hi"s, 10, 0, "hi"},
        {"Empty", "", 7, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        write_file("s", c.file);
        open_random("s", 1, c.record_length);
        StringDescriptor* v = variable("old");
        files.file_get_string(1, 1, v, true);
        EXPECT_EQ(take_error(), c.error);
        EXPECT_EQ(text(v), c.value);
        // Back at the record start after an error, else at the next record.
        EXPECT_EQ(files.file_position(1), c.error ? 1 : 2);
        files.file_close(1, true);
    }
}

TEST_F(FileRecordsTest, ShortStringRecordMovesToTheNextRecord) {
    write_file("s", std::string("\x02\x00" "ab", 4));
    open_random("s", 1, 10);
    StringDescriptor* v = variable("old");
    files.file_get_string(1, 0, v, false);
    EXPECT_EQ(text(v), "ab");
    EXPECT_EQ(files.file_position(1), 2);
    EXPECT_EQ(files.file_at_end(1), -1);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(FileRecordsTest, BinaryStringsHaveNoPrefix) {
    open("b", kOpenBinary, 1);
    files.file_put_string(1, 0, literal("hello"), false);
    files.file_put_string(1, 0, literal("!"), false);
    StringDescriptor* v = variable("xyz");
    files.file_get_string(1, 2, v, true);  // reads as many bytes as the variable holds
    EXPECT_EQ(text(v), "ell");
    files.file_close(1, true);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(read_file("b"), "hello!");
}

}  // namespace
}  // namespace quendrel
