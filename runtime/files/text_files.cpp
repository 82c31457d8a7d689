#include "runtime/files/text_files.h"

#include <cstring>
#include <vector>

#include "runtime/files/number_field.h"

namespace quendrel {
namespace {

constexpr int kCr = 13;
constexpr int kLf = 10;
constexpr int kCtrlZ = 26;

bool is_line_end(int c) { return c == kCr || c == kLf; }

}  // namespace

int TextFiles::read_text_byte(int32_t handle) {
    uint8_t byte = 0;
    int64_t code = handles_.handle_read(handle, -1, &byte, 1);
    if (code == kHandleShortRead) return kEnd;
    if (!files_.check(code)) return kError;
    if (byte == kCtrlZ) {
        // Stay in front of the mark so the next read meets it again.
        if (!step_back(handle)) return kError;
        handles_.get(handle)->eof_hit = true;
        return kEnd;
    }
    return byte;
}

bool TextFiles::step_back(int32_t handle) {
    return files_.check(handles_.handle_seek(handle, handles_.handle_position(handle) - 1));
}

void TextFiles::skip_line_end(int32_t handle, int byte) {
    int next = read_text_byte(handle);
    if (next < 0) return;
    if ((byte == kCr && next == kLf) || (byte == kLf && next == kCr)) return;
    step_back(handle);
}

void TextFiles::skip_field_end(int32_t handle, int byte) {
    for (;;) {
        if (byte < 0 || byte == ',') return;
        if (is_line_end(byte)) return skip_line_end(handle, byte);
        if (byte == ' ') {
            for (;;) {
                int next = read_text_byte(handle);
                if (next < 0) return;
                if (next != ' ' && next != ',' && !is_line_end(next)) {
                    step_back(handle);
                    return;
                }
            }
        }
        // Anything else is skipped up to the next delimiter, which then
        // ends the field by its own rule.
        byte = read_text_byte(handle);
    }
}

void TextFiles::skip_string_field_end(int32_t handle, int byte) {
    for (;;) {
        if (byte < 0 || byte == ',') return;
        if (is_line_end(byte)) return skip_line_end(handle, byte);
        byte = read_text_byte(handle);
    }
}

StringDescriptor* TextFiles::make_string(const std::string& bytes) {
    if (bytes.size() > size_t(INT32_MAX)) {
        errors_.raise_error(14);
        return nullptr;
    }
    StringDescriptor* value = strings_.string_new(uint32_t(bytes.size()), true);
    if (!value || errors_.pending()) return nullptr;
    if (!bytes.empty()) std::memcpy(value->text, bytes.data(), bytes.size());
    return value;
}

StringDescriptor* TextFiles::empty_result() { return strings_.string_new(0, true); }

void TextFiles::assign(StringDescriptor* variable, const std::string& bytes) {
    StringDescriptor* value = make_string(bytes);
    if (value) strings_.string_assign(variable, value);
}

void TextFiles::file_print_text(int32_t file_number, StringDescriptor* text, bool trailing_space,
                                bool zone, bool line_end) {
    if (errors_.pending()) return;
    int32_t handle = files_.open_handle(file_number);
    if (handle >= 0) {
        FileHandle* file = handles_.get(handle);
        if (file->screen_device) {
            screen_.print(text, line_end);
        } else if (file->mode != kModeOutput) {
            errors_.raise_error(54);
        } else if (!file->can_write) {
            errors_.raise_error(75);
        } else {
            std::string out(reinterpret_cast<const char*>(text->text), size_t(text->length));
            int64_t column = file->print_column;
            for (char c : out) {
                if (c == kCr) column = 1;
                else if (c != kLf) ++column;
            }
            if (trailing_space) {
                out += ' ';
                ++column;
            }
            if (zone) {
                // The next item starts at column 1, 15, 29, ...
                do {
                    out += ' ';
                    ++column;
                } while ((column - 1) % 14 != 0);
            }
            if (line_end) {
                out += "\r\n";
                column = 1;
            }
            if (files_.check(handles_.handle_write(handle, -1, out.data(), int64_t(out.size()))))
                file->print_column = column;
        }
    }
    strings_.free_if_temporary(text);
}

int32_t TextFiles::readable_input(int32_t file_number) {
    int32_t handle = files_.open_handle(file_number);
    if (handle < 0) return -1;
    FileHandle* file = handles_.get(handle);
    if (file->mode != kModeInput) {
        errors_.raise_error(54);
        return -1;
    }
    if (!file->can_read) {
        errors_.raise_error(75);
        return -1;
    }
    return handle;
}

void TextFiles::file_input_string(int32_t file_number, StringDescriptor* variable) {
    if (errors_.pending()) return;
    int32_t handle = readable_input(file_number);
    if (handle < 0) return;
    int c;
    do {
        c = read_text_byte(handle);
    } while (c == ' ' || c == '\t');
    if (c == kError) return;
    if (c == kEnd) {
        assign(variable, std::string());
        return errors_.raise_error(62);
    }
    std::string field;
    if (c == '"') {
        for (;;) {
            c = read_text_byte(handle);
            if (c == kError) return;
            if (c == kEnd || c == '"') break;
            field += char(c);
        }
        if (c == '"') c = read_text_byte(handle);
    } else {
        while (c >= 0 && c != ',' && !is_line_end(c)) {
            field += char(c);
            c = read_text_byte(handle);
        }
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.pop_back();
    }
    if (c == kError) return;
    skip_string_field_end(handle, c);
    if (errors_.pending()) return;
    assign(variable, field);
}

void TextFiles::file_input_number(int32_t file_number, int32_t type_word, void* variable) {
    if (errors_.pending()) return;
    int32_t handle = readable_input(file_number);
    if (handle < 0) return;
    int c;
    do {
        c = read_text_byte(handle);
    } while (c == ' ');
    if (c == kError) return;
    if (c == kEnd) return errors_.raise_error(62);
    NumberFieldReader field;
    while (field.feed(c)) {
        c = read_text_byte(handle);
        if (c == kError) return;
    }
    skip_field_end(handle, c);
    if (errors_.pending()) return;
    int32_t error = store_number(field, type_word, variable);
    if (error != 0) errors_.raise_error(error);
}

void TextFiles::file_line_input(int32_t file_number, StringDescriptor* variable) {
    if (errors_.pending()) return;
    int32_t handle = files_.open_handle(file_number);
    if (handle < 0) return;
    FileHandle* file = handles_.get(handle);
    if (!file->can_read) return errors_.raise_error(75);
    if (file->mode != kModeInput && file->mode != kModeBinary) return errors_.raise_error(54);

    std::string line;
    if (file->mode == kModeInput) {
        int c = read_text_byte(handle);
        if (c == kError) return;
        if (c == kEnd) {
            assign(variable, std::string());
            return errors_.raise_error(62);
        }
        while (c >= 0 && !is_line_end(c)) {
            line += char(c);
            c = read_text_byte(handle);
        }
        if (c == kError) return;
        if (c >= 0) skip_line_end(handle, c);
        if (errors_.pending()) return;
        return assign(variable, line);
    }

    // Binary files: no Ctrl+Z mark, only LF (with a CR before it) ends a line.
    int64_t length = handles_.handle_length(handle);
    if (!files_.check(length < 0 ? length : kHandleOk)) return;
    int64_t start = file->position;
    if (start >= length) return errors_.raise_error(62);
    int64_t offset = start;
    int64_t chunk = 512;
    std::string bytes;
    for (;;) {
        // Growing pieces read on from where the last one stopped.
        int64_t want = chunk < length - offset ? chunk : length - offset;
        size_t old_size = bytes.size();
        bytes.resize(old_size + size_t(want));
        int64_t got = 0;
        int64_t code = handles_.handle_read(handle, offset, bytes.data() + old_size, want, &got);
        if (code != kHandleShortRead && !files_.check(code)) return;
        bytes.resize(old_size + size_t(got));
        size_t feed = bytes.find('\n', old_size);
        if (feed != std::string::npos) {
            int64_t after = start + int64_t(feed) + 1;
            size_t end = feed > 0 && bytes[feed - 1] == '\r' ? feed - 1 : feed;
            if (!files_.check(handles_.handle_seek(handle, after))) return;
            file->eof_hit = after >= length;
            bytes.resize(end);
            return assign(variable, bytes);
        }
        offset += got;
        if (got < want || offset >= length) break;
        chunk += 512;
    }
    file->eof_hit = true;
    assign(variable, bytes);
}

StringDescriptor* TextFiles::input_chars(int32_t count, int32_t file_number, bool file_given) {
    if (errors_.pending()) return empty_result();
    if (count < 0) {
        errors_.raise_error(52);
        return empty_result();
    }
    if (count == 0) return empty_result();
    if (!file_given) return keyboard_chars(count);

    int32_t handle = files_.open_handle(file_number);
    if (handle < 0) return empty_result();
    FileHandle* file = handles_.get(handle);
    if (file->mode != kModeInput && file->mode != kModeBinary) {
        errors_.raise_error(62);
        return empty_result();
    }
    if (!file->can_read) {
        errors_.raise_error(75);
        return empty_result();
    }

    std::string bytes;
    if (file->mode == kModeInput) {
        for (int32_t i = 0; i < count; ++i) {
            int c = read_text_byte(handle);
            if (c == kError) return empty_result();
            if (c == kEnd) {
                errors_.raise_error(62);
                return empty_result();
            }
            bytes += char(c);
            // Look one byte ahead so EOF turns true with the last byte taken.
            int next = read_text_byte(handle);
            if (next == kError || (next >= 0 && !step_back(handle))) return empty_result();
        }
    } else {
        // Never ask for more than the file holds, so a huge count costs
        // nothing; asking past the end marks it as a short read would.
        int64_t length = handles_.handle_length(handle);
        if (!files_.check(length < 0 ? length : kHandleOk)) return empty_result();
        int64_t left = length - file->position;
        if (left < 0) left = 0;
        int64_t want = count < left ? count : left;
        bytes.resize(size_t(want));
        int64_t got = 0;
        int64_t code = handles_.handle_read(handle, -1, bytes.data(), want, &got);
        if (code != kHandleShortRead && !files_.check(code)) return empty_result();
        bytes.resize(size_t(got));
        if (want < count) file->eof_hit = true;
    }
    StringDescriptor* value = make_string(bytes);
    return value ? value : empty_result();
}

StringDescriptor* TextFiles::keyboard_chars(int32_t count) {
    RunState& run = errors_.run();
    std::string bytes;
    while (int32_t(bytes.size()) < count) {
        if (run.stop_threads.load()) break;  // the shutdown ends the wait
        StringDescriptor* key = keys_.poll_key();
        if (key) {
            if (key->length > 0) bytes += char(key->text[0]);
            strings_.free_if_temporary(key);
        }
        if (int32_t(bytes.size()) >= count) break;
        if (run.pending_event.load() && !run.stop_threads.load()) errors_.statement_checkpoint(0);
        if (errors_.pending()) return empty_result();
        errors_.platform().sleep_ms(10);
    }
    StringDescriptor* value = make_string(bytes);
    return value ? value : empty_result();
}

}  // namespace quendrel
