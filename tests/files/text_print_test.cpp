#include "files_fixture.h"

namespace quendrel {
namespace {

using TextPrintTest = FilesFixture;

std::string sp(size_t n) { return std::string(n, ' '); }

struct PrintItem {
    const char* text;
    bool trailing_space, zone, line_end;
};

TEST_F(TextPrintTest, ItemsLandInTheirColumnsAndZones) {
    struct Case {
        const char* label;
        std::vector<PrintItem> items;
        std::string file;
    } cases[] = {
        {"ZoneThenLineEnd", {{"A", false, true, false}, {"B", false, false, true}},
         "A" + sp(13) + "B\r\n"},
        {"NumberWithTrailingSpace", {{" 5", true, false, false}, {"-3", true, false, true}},
         " 5 -3 \r\n"},
        {"ZoneAfterFullZone", {{"ABCDEFGHIJKLMN", false, true, false}, {"x", false, false, false}},
         "ABCDEFGHIJKLMN" + sp(14) + "x"},
        {"ZoneAfterThirteen", {{"ABCDEFGHIJKLM", false, true, false}, {"x", false, true, false}},
         "ABCDEFGHIJKLM" + sp(1) + "x" + sp(13)},
        {"LineEndRestartsZones", {{"abc", false, false, true}, {"d", false, true, false}, {"e", false, false, false}},
         "abc\r\nd" + sp(13) + "e"},
        {"CarriageReturnInTextRestartsColumn", {{"abcdef\rg", false, true, false}, {"h", false, false, false}},
         "abcdef\rg" + sp(13) + "h"},
        {"LineFeedKeepsColumn", {{"ab\ncd", false, true, false}, {"h", false, false, false}},
         "ab\ncd" + sp(10) + "h"},
        {"EmptyLine", {{"", false, false, true}}, std::string("\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        open("p", kOpenOutput, 1);
        for (const PrintItem& item : c.items) print(1, item.text, item.trailing_space, item.zone, item.line_end);
        files.file_close(1, true);
        EXPECT_EQ(take_error(), 0);
        EXPECT_EQ(read_file("p"), c.file);
    }
}

TEST_F(TextPrintTest, ScreenDeviceGetsTheTextAndTheLineEndOnly) {
    files.file_open(literal("SCRN:"), kOpenOutput, kAccessNone, kLockNone, 1, -1, false);
    print(1, "hi", true, true, true);
    print(1, "there", false, false, false);
    EXPECT_EQ(take_error(), 0);
    ASSERT_EQ(screen.printed.size(), 2u);
    EXPECT_EQ(screen.printed[0].text, "hi");
    EXPECT_TRUE(screen.printed[0].line_end);
    EXPECT_EQ(screen.printed[1].text, "there");
    EXPECT_FALSE(screen.printed[1].line_end);
}

TEST_F(TextPrintTest, OnlyWritableOutputFilesTakePrint) {
    write_file("f", "x");
    open("f", kOpenInput, 1);
    open("f", kOpenBinary, 2);
    open("g", kOpenOutput, 3, kAccessRead);
    for (int32_t number : {1, 2}) {
        print(number, "a", false, false, true);
        EXPECT_EQ(take_error(), 54);
    }
    print(3, "a", false, false, true);
    EXPECT_EQ(take_error(), 75);
    files.file_close(0, false);
    EXPECT_EQ(read_file("f"), "x");
    EXPECT_EQ(read_file("g"), "");
}

TEST_F(TextPrintTest, PrintConsumesTemporaries) {
    open("p", kOpenOutput, 1);
    uint32_t before = heap.temp_count();
    StringDescriptor* t = heap.string_new(3, true);
    t->text[0] = 'a', t->text[1] = 'b', t->text[2] = 'c';
    text_files.file_print_text(1, t, false, false, false);
    EXPECT_EQ(heap.temp_count(), before);
    files.file_close(1, true);
    EXPECT_EQ(read_file("p"), "abc");
}

}  // namespace
}  // namespace quendrel
