// A file system, its text statements and a fresh temporary folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/files/file_system.h"
#include "runtime/files/text_files.h"
#include "support/heap_fixture.h"

namespace quendrel {

class FakeScreen : public ScreenDevice {
public:
    struct Line {
        std::string text;
        bool line_end;
    };
    void print(StringDescriptor* text, bool line_end) override {
        printed.push_back({std::string(reinterpret_cast<const char*>(text->text), size_t(text->length)),
                           line_end});
    }
    std::vector<Line> printed;
};

// Hands out the scripted keys one per poll, then empty strings.
class FakeKeys : public KeySource {
public:
    explicit FakeKeys(StringHeap& heap) : heap_(heap) {}
    StringDescriptor* poll_key() override {
        ++polls;
        if (next_ >= keys.size()) return heap_.string_new(0, true);
        const std::string& key = keys[next_++];
        StringDescriptor* d = heap_.string_new(uint32_t(key.size()), true);
        for (size_t i = 0; i < key.size(); ++i) d->text[i] = uint8_t(key[i]);
        return d;
    }
    std::vector<std::string> keys;
    int polls = 0;

private:
    StringHeap& heap_;
    size_t next_ = 0;
};

class FilesFixture : public HeapFixture {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quendrel-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        files.close_all();
        std::filesystem::remove_all(folder);
    }

    std::string path(const std::string& name) const { return folder + "/" + name; }
    void write_file(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read_file(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

    // The error the last statements left, cleared as the dialog's Yes would.
    int32_t take_error() { return run.pending_error.exchange(0); }

    void open(const std::string& name, int32_t mode, int32_t number, int32_t access = kAccessNone,
              int32_t lock = kLockNone, int64_t record_length = -1, bool length_given = false) {
        files.file_open(literal(path(name).c_str()), mode, access, lock, number, record_length,
                        length_given);
    }
    void open_random(const std::string& name, int32_t number, int64_t record_length) {
        open(name, kOpenRandom, number, kAccessNone, kLockNone, record_length, true);
    }
    void print(int32_t number, const char* s, bool trailing_space, bool zone, bool line_end) {
        text_files.file_print_text(number, literal(s), trailing_space, zone, line_end);
    }
    std::string line_input(int32_t number) {
        StringDescriptor* v = variable("old");
        text_files.file_line_input(number, v);
        return text(v);
    }
    std::string input_string(int32_t number) {
        StringDescriptor* v = variable("old");
        text_files.file_input_string(number, v);
        return text(v);
    }

    std::string folder;
    FileSystem files{errors, heap};
    FakeScreen screen;
    FakeKeys keys{heap};
    TextFiles text_files{files, screen, keys};
};

}  // namespace quendrel
