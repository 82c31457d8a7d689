#include "runtime/console/input_editor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/screen_fixture.h"
#include "runtime/console/input_types.h"

namespace quendrel {
namespace {

// Keys from a script, one entry per poll; an empty entry is a poll that
// finds nothing. When the script runs out the run is stopped, so a test
// whose script lacks its Enter ends instead of hanging.
class ScriptedKeys : public KeySource {
public:
    ScriptedKeys(StringHeap& heap, RunState& run) : heap_(heap), run_(run) {}

    StringDescriptor* poll_key() override {
        ++polls;
        if (on_poll) on_poll(polls);
        if (next_ >= script.size()) {
            ran_out = true;
            run_.stop_threads.store(1);
            return heap_.string_new(0, true);
        }
        const std::string& key = script[next_++];
        StringDescriptor* d = heap_.string_new(uint32_t(key.size()), true);
        if (!key.empty()) std::memcpy(d->text, key.data(), key.size());
        return d;
    }
    void reset() {
        script.clear();
        on_poll = nullptr;
        polls = 0;
        ran_out = false;
        next_ = 0;
    }
    // Every character a key of its own, then Enter.
    void type(const std::string& keys) {
        for (char c : keys) script.emplace_back(1, c);
        script.emplace_back("\r");
    }

    std::vector<std::string> script;
    std::function<void(int)> on_poll;
    int polls = 0;
    bool ran_out = false;

private:
    StringHeap& heap_;
    RunState& run_;
    size_t next_ = 0;
};

struct Variable {
    alignas(16) uint8_t bytes[32];
    StringDescriptor* string = nullptr;
};

class InputEditorTest : public TextOutputTest {
protected:
    InputEditorTest() {
        heap.reset_segment();
        heap.create_permanent_strings();
    }

    // Variables 1..n of the given types, filled with a marker so clearing shows.
    void declare(const std::vector<int32_t>& types) {
        vars.assign(types.size(), Variable{});
        for (size_t i = 0; i < types.size(); ++i) {
            Variable& v = vars[i];
            std::memset(v.bytes, 0x5A, sizeof v.bytes);
            void* address = v.bytes;
            if (types[i] & kTypeString) {
                v.string = heap.string_new(0, false);
                heap.string_assign(v.string, heap.string_from_text("old"));
                address = v.string;
            }
            editor.variables.set(int32_t(i + 1), address, types[i]);
        }
        type_words = types;
    }

    std::string value(size_t i) const {
        const Variable& v = vars[i];
        const int32_t t = type_words[i];
        if (t & kTypeString)
            return std::string(reinterpret_cast<const char*>(v.string->text), size_t(v.string->length));
        char buffer[64];
        char* end = buffer;
        if (t & kTypeFloat) {
            if (type_size_bits(t) == 32) {
                float f;
                std::memcpy(&f, v.bytes, 4);
                end = std::to_chars(buffer, buffer + 64, f).ptr;
            } else if (type_size_bits(t) == 64) {
                double d;
                std::memcpy(&d, v.bytes, 8);
                end = std::to_chars(buffer, buffer + 64, d).ptr;
            } else {
                long double e;
                std::memcpy(&e, v.bytes, sizeof e);
                end = std::to_chars(buffer, buffer + 64, double(e)).ptr;
            }
            return std::string(buffer, end);
        }
        uint64_t pattern = 0;
        const int bytes = type_byte_count(t);
        std::memcpy(&pattern, v.bytes, size_t(bytes));
        if (t & kTypeUnsigned) return std::to_string(pattern);
        const int shift = 64 - 8 * bytes;
        return std::to_string(int64_t(pattern << shift) >> shift);
    }

    StringHeap heap{errors, memory};
    ScriptedKeys keys{heap, run};
    std::istringstream console_in;
    InputEditor editor{errors, platform, screen, out, heap, keys, console_in};
    std::vector<Variable> vars;
    std::vector<int32_t> type_words;
};

TEST_F(InputEditorTest, KeystrokesShowAndStoreOnlyWhatFits) {
    struct Case {
        const char* name;
        std::vector<int32_t> types;
        std::string keys;  // Enter follows
        std::string shown;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"int16 max, then a refused 0", {kTypeInt16}, "327670", "32767", {"32767"}},
        {"int16 min", {kTypeInt16}, "-32768", "-32768", {"-32768"}},
        {"int16 below min loses its 9", {kTypeInt16}, "-32769", "-3276", {"-3276"}},
        {"unsigned byte takes no minus", {kTypeUInt8}, "-255", "255", {"255"}},
        {"unsigned byte above 255", {kTypeUInt8}, "256", "25", {"25"}},
        {"0 followed by anything", {kTypeInt32}, "007", "0", {"0"}},
        {"two variables, second comma refused", {kTypeInt16, kTypeInt16}, "12,34,", "12,34", {"12", "34"}},
        {"comma with no next variable", {kTypeString}, "a,b", "ab", {"ab"}},
        {"quoted comma, x after the quote", {kTypeString}, "\"a,b\"x", "\"a,b\"", {"a,b"}},
        {"quoted field then a number", {kTypeString, kTypeUInt8}, "\"a\",7", "\"a\",7", {"a", "7"}},
        {"quote inside an unquoted field", {kTypeString}, "a\"b", "a\"b", {"a\"b"}},
        {"line input keeps commas and quotes", {kTypeString | kTypeLineInput}, "a,\"b\",c", "a,\"b\",c", {"a,\"b\",c"}},
        {"single max", {kTypeSingle}, "3.402823E38", "3.402823E38", {"3.402823e+38"}},
        {"single above max", {kTypeSingle}, "3.402824E38", "3.402824E3", {"3402.824"}},
        {"single refuses D", {kTypeSingle}, "1D5", "15", {"15"}},
        {"double reads D as E", {kTypeDouble}, "1D5", "1D5", {"1e+05"}},
        {"extended reads d as e", {kTypeExtended}, "2.5d-3", "2.5d-3", {"0.0025"}},
        {"hexadecimal bit pattern", {kTypeInt16}, "&HFFFF", "&HFFFF", {"-1"}},
        {"hexadecimal digit limit", {kTypeInt16}, "&H00001", "&H0000", {"0"}},
        {"unsigned 64-bit max", {kTypeUInt64}, "184467440737095516159", "18446744073709551615", {"18446744073709551615"}},
        {"tab into a string", {kTypeString}, "ab\tc", "ab      c", {"ab      c"}},
        {"tab spaces refused in a number", {kTypeInt16}, "12\t3", "123", {"123"}},
        {"backspace on an empty line", {kTypeInt16}, "\b\b5", "5", {"5"}},
        {"backspace after 12", {kTypeInt16}, "12\b", "1", {"1"}},
        {"backspace over the comma", {kTypeInt16, kTypeInt16}, "12,34\b\b\b9", "129", {"129", "0"}},
        {"ignored control keys", {kTypeString}, "a\n\x0b\x0c\x1c\x1d\x1e\x1f" "b", "ab", {"ab"}},
        {"bell leaves the line", {kTypeString}, "a\x07" "b", "ab", {"ab"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.clear_screen(0, 0, 0);
        at(3, 1);
        print("? ", false);
        declare(c.types);
        keys.reset();
        keys.type(c.keys);
        editor.input_editor(int32_t(c.types.size()), true);
        EXPECT_FALSE(keys.ran_out);
        EXPECT_EQ(row_text(page(0), 3, 1, int(c.shown.size()) + 4), "? " + c.shown + "  ");
        EXPECT_EQ(row(), 4);
        EXPECT_EQ(column(), 1);
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(value(i), c.values[i]) << "variable " << i + 1;
        EXPECT_EQ(error(), 0);
    }
}

TEST_F(InputEditorTest, TheLineHoldsAtMost255Characters) {
    declare({kTypeString});
    keys.type(std::string(256, 'x'));
    editor.input_editor(1, false);
    EXPECT_EQ(value(0), std::string(255, 'x'));
    EXPECT_EQ(row_text(page(0), 3, 1), std::string(80, 'x'));
    EXPECT_EQ(row_text(page(0), 4, 1, 16), std::string(15, 'x') + " ");
    EXPECT_EQ(row(), 4);
    EXPECT_EQ(column(), 16);
}

TEST_F(InputEditorTest, RedrawShowsTheScreenAsItWasUnderRemovedCharacters) {
    at(5, 1);
    print("ABCDEFG", false);
    at(5, 1);
    declare({kTypeInt32});
    keys.type("12345\b\bx");
    editor.input_editor(1, false);
    EXPECT_EQ(row_text(page(0), 5, 1, 7), "123DEFG");
    EXPECT_EQ(value(0), "123");
    EXPECT_EQ(column(), 4);
}

TEST_F(InputEditorTest, RefusalAtTheLastColumnKeepsTheWaitingWrap) {
    at(2, 79);
    declare({kTypeInt16});
    // The 2 fills the row; the refused x had started the next one.
    keys.type("12x3");
    editor.input_editor(1, false);
    EXPECT_EQ(row_text(page(0), 2, 79, 2), "12");
    EXPECT_EQ(row_text(page(0), 3, 1, 2), "3 ");
    EXPECT_EQ(value(0), "123");
}

TEST_F(InputEditorTest, SetUpAndEndStates) {
    ScreenImage& p = page(0);
    ASSERT_EQ(p.cursor_visible, 0);
    int32_t other = screen.image_new(80, 25, 0, true);
    ASSERT_LT(other, 0);
    // The source differs from the destination before the call.
    screen.set_source_slot(-other);
    declare({kTypeInt16, kTypeString});
    uint32_t mark = heap.temp_count();
    bool checked = false;
    keys.on_poll = [&](int poll) {
        if (poll != 1) return;
        checked = true;
        EXPECT_EQ(display.display_mode.load(), 1);
        EXPECT_EQ(screen.source_image_slot(), screen.page_slot(0));
        EXPECT_EQ(p.cursor_visible, 1);
        EXPECT_EQ(value(0), "0");
        EXPECT_EQ(value(1), "");
    };
    keys.type("4");
    editor.input_editor(2, false);
    EXPECT_TRUE(checked);
    EXPECT_EQ(display.display_mode.load(), 1);
    EXPECT_EQ(screen.source_image_slot(), -other);
    EXPECT_EQ(screen.destination_slot(), screen.page_slot(0));
    EXPECT_EQ(p.cursor_visible, 0);
    EXPECT_EQ(heap.temp_count(), mark);
    // The two scratch copies took the slots after it and gave them back.
    EXPECT_EQ(screen.slots_handed_out(), uint32_t(-other + 3));
    EXPECT_EQ(screen.image(-other + 1)->in_use, 0);
    EXPECT_EQ(screen.image(-other + 2)->in_use, 0);
}

TEST_F(InputEditorTest, ManualDisplayIsHandedBackThroughTheFrameBuilder) {
    struct Case {
        int32_t display_started;
    };
    for (Case c : {Case{0}, Case{1}}) {
        SCOPED_TRACE(c.display_started);
        run.display_started.store(c.display_started);
        display.display_mode.store(0);
        std::atomic<bool> stop{false}, saw_switch{false};
        std::thread builder([&] {
            while (!stop.load()) {
                int32_t switching = -1;
                if (display.display_mode.compare_exchange_strong(switching, 0)) saw_switch = true;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        declare({kTypeInt16});
        keys.reset();
        keys.on_poll = [&](int) { EXPECT_EQ(display.display_mode.load(), 1); };
        keys.type("1");
        editor.input_editor(1, false);
        stop = true;
        builder.join();
        EXPECT_EQ(display.display_mode.load(), 0);
        EXPECT_EQ(saw_switch.load(), c.display_started != 0);
    }
    run.display_started.store(0);
}

TEST_F(InputEditorTest, ShutdownReturnsAtOnce) {
    declare({kTypeInt16});
    at(7, 1);
    keys.script = {"4", "", ""};  // no Enter: the script's end stops the run
    editor.input_editor(1, true);
    EXPECT_TRUE(keys.ran_out);
    EXPECT_EQ(keys.polls, 4);
    EXPECT_EQ(value(0), "4");
    // No line end on the way out.
    EXPECT_EQ(row(), 7);
    EXPECT_EQ(column(), 2);
    EXPECT_EQ(page(0).cursor_visible, 0);
}

TEST_F(InputEditorTest, PendingErrorOrBadListDoesNothing) {
    declare({kTypeInt16});
    errors.raise_error(6);
    editor.input_editor(1, true);
    EXPECT_EQ(keys.polls, 0);
    EXPECT_EQ(vars[0].bytes[0], 0x5A);
    EXPECT_EQ(error(), 6);
    clear_error();

    struct Case {
        std::vector<int32_t> types;
        int32_t count;
    };
    const Case cases[] = {
        {{kTypeInt16}, 0}, {{kTypeInt16}, 2}, {{24}, 1}, {{kTypeFloat | 16}, 1}, {{kTypeString | kTypeFloat}, 1},
    };
    for (const Case& c : cases) {
        editor.variables.clear();
        declare(c.types);
        editor.input_editor(c.count, true);
        EXPECT_EQ(error(), 5) << c.count;
        EXPECT_EQ(keys.polls, 0);
        clear_error();
    }
}

TEST_F(InputEditorTest, FixedLengthStringsAndBitFields) {
    uint8_t storage[3] = {'q', 'q', 'q'};
    StringDescriptor* fixed = heap.string_fixed(storage, 3);
    uint8_t packed = 0xA5;
    const int32_t bit_field = 4 | kTypeBitField | kTypeUnsigned;
    editor.variables.set(1, fixed, kTypeString);
    editor.variables.set(2, &packed, bit_field);
    keys.on_poll = [&](int poll) {
        if (poll == 1) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(storage), 3), "   ");
        }
    };
    // "abcd" is one too long; 16 does not fit 4 bits.
    keys.type("abcd,16");
    editor.input_editor(2, false);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(storage), 3), "abc");
    EXPECT_EQ(row_text(page(0), 1, 1, 7), "abc,1  ");
    EXPECT_EQ(packed, 0xA5);  // validated, never written
    EXPECT_EQ(editor.variables.at(2)->bit_field_value, 1u);
}

TEST_F(InputEditorTest, EmptyAndExtendedKeysAreIgnored) {
    declare({kTypeString});
    keys.script = {"", std::string("\0H", 2), "", "z", std::string("\0K", 2), "\r"};
    editor.input_editor(1, false);
    EXPECT_EQ(value(0), "z");
    EXPECT_EQ(keys.polls, 6);
}

TEST_F(InputEditorTest, EventProcedureRunsPerWaitAndTemporariesAreReleased) {
    declare({kTypeInt16});
    int calls = 0;
    uint32_t mark = heap.temp_count();
    editor.set_event_procedure([&] {
        ++calls;
        heap.string_from_text("left behind");
    });
    keys.on_poll = [&](int) { EXPECT_EQ(heap.temp_count(), mark); };
    keys.script = {"", "", "3", "\r"};
    editor.input_editor(1, false);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(heap.temp_count(), mark);
    EXPECT_EQ(value(0), "3");
}

TEST_F(InputEditorTest, ErrorFromTheEventProcedureEndsTheEditor) {
    declare({kTypeInt16});
    editor.set_event_procedure([&] { errors.raise_error(6); });
    keys.script = {"5", "\r"};
    editor.input_editor(1, false);
    EXPECT_EQ(error(), 6);
    EXPECT_EQ(keys.polls, 1);
    EXPECT_EQ(screen.destination_slot(), screen.page_slot(0));
}

TEST_F(InputEditorTest, ConsoleImagesReadStandardInput) {
    page(0).is_console = 1;
    declare({kTypeInt16, kTypeString});
    console_in.str("12x,ab\n");
    editor.input_editor(2, true);
    page(0).is_console = 0;
    EXPECT_EQ(keys.polls, 0);
    EXPECT_EQ(value(0), "12");
    EXPECT_EQ(value(1), "ab");
    // The terminal echoes; the editor writes nothing, not even the line end.
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(row_text(page(0), 1, 1, 4), "    ");
}

TEST_F(InputEditorTest, ConsoleEndOfInputKeepsWaiting) {
    page(0).is_console = 1;
    declare({kTypeInt16});
    console_in.str("7");
    int waits = 0;
    editor.set_event_procedure([&] {
        if (++waits == 5) run.stop_threads.store(1);
    });
    editor.input_editor(1, true);
    page(0).is_console = 0;
    EXPECT_EQ(waits, 5);
    EXPECT_EQ(value(0), "7");
}

TEST_F(InputEditorTest, RandomSeedPrompt) {
    at(10, 1);
    keys.type("-123x");
    EXPECT_EQ(editor.random_seed_prompt(), -123);
    EXPECT_EQ(row_text(page(0), 10, 1, 43), "Random-number seed (-32768 to 32767)? -123 ");
    EXPECT_EQ(row(), 11);
    EXPECT_EQ(column(), 1);
    EXPECT_EQ(editor.variables.size(), 0);
}

class PixelCursorTest : public InputEditorTest {
protected:
    uint32_t pixel32(const ScreenImage& image, int x, int y) {
        return reinterpret_cast<const uint32_t*>(image.data)[y * image.width + x];
    }
};

TEST_F(PixelCursorTest, ThirtyTwoBitImagesBlinkOnePixelWide) {
    int32_t handle = screen.image_new(32, 32, 32, true);
    screen.set_destination(handle);
    ScreenImage& image = screen.destination();
    ASSERT_EQ(image.foreground, -1);
    declare({kTypeInt16});
    std::vector<uint32_t> seen;
    keys.on_poll = [&](int poll) {
        seen.push_back(pixel32(image, 0, 0));
        EXPECT_EQ(pixel32(image, 1, 0), 0u);
        EXPECT_EQ(pixel32(image, 0, 16), 0u);
        EXPECT_EQ(pixel32(image, 0, 15), pixel32(image, 0, 0));
        // Next wait in the other 512 ms phase.
        platform.set_clock_ms(poll % 2 ? 1536 : 1024);
    };
    platform.set_clock_ms(1024);
    keys.script = {"", "", "", "5", "\r"};
    editor.input_editor(1, false);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu}));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(pixel32(image, x, y), 0u) << x << "," << y;
    EXPECT_EQ(value(0), "5");
}

TEST_F(PixelCursorTest, PalettedPagesShowASteadyCell) {
    int32_t handle = screen.image_new(32, 16, 13, true);
    screen.set_destination(handle);
    ScreenImage& image = screen.destination();
    ASSERT_EQ(image.font, 8u);
    store_cursor(image, 2, 3);  // cell x 16-23, y 8-15
    image.data[8 * 32 + 16] = 0x0F;
    declare({kTypeInt16});
    int checks = 0;
    keys.on_poll = [&](int) {
        ++checks;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                bool in_cell = x >= 16 && x < 24 && y >= 8;
                uint8_t expected = in_cell ? (x == 16 && y == 8 ? 0x00 : 0x0F) : 0;
                ASSERT_EQ(image.data[y * 32 + x], expected) << x << "," << y;
            }
        platform.advance_ms(512);
    };
    keys.script = {"", "", "1", "\r"};
    editor.input_editor(1, false);
    EXPECT_EQ(checks, 4);
    EXPECT_EQ(image.data[8 * 32 + 16], 0x0F);
    EXPECT_EQ(image.data[8 * 32 + 17], 0x00);
}

}  // namespace
}  // namespace quendrel
