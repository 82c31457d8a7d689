// GET and PUT: fixed-size blocks and length-prefixed strings, by record in
// random files and by byte position in binary files.
#include <cstring>
#include <vector>

#include "runtime/files/file_system.h"

namespace quendrel {

bool FileSystem::begin_transfer(int32_t file_number, int64_t record, bool given, bool writing,
                                int64_t size, Transfer& transfer) {
    transfer.handle = open_handle(file_number);
    if (transfer.handle < 0) return false;
    FileHandle* file = handles_.get(transfer.handle);
    transfer.record = file;
    if (file->screen_device) {
        fail(5);
        return false;
    }
    if (file->mode != kModeRandom && file->mode != kModeBinary) {
        fail(54);
        return false;
    }
    if (writing ? !file->can_write : !file->can_read) {
        fail(75);
        return false;
    }
    if (size < 0) {
        fail(5);
        return false;
    }
    transfer.offset = file->position;
    if (file->mode == kModeRandom) {
        if (size > file->record_length) {
            fail(59);
            return false;
        }
        if (given && (record < 1 ||
                      __builtin_mul_overflow(record - 1, file->record_length, &transfer.offset))) {
            fail(63);
            return false;
        }
    } else if (given) {
        if (record < 1) {
            fail(63);
            return false;
        }
        transfer.offset = record - 1;
    }
    return true;
}

void FileSystem::step_to_next_record(const Transfer& transfer) {
    int64_t next;
    if (__builtin_add_overflow(transfer.offset, transfer.record->record_length, &next))
        return fail(63);
    check(handles_.handle_seek(transfer.handle, next));
}

void FileSystem::file_get(int32_t file_number, int64_t record, void* data, int64_t size,
                          bool given) {
    if (errors_.pending()) return;
    Transfer transfer;
    if (!begin_transfer(file_number, record, given, false, size, transfer)) return;
    int64_t code = handles_.handle_read(transfer.handle, transfer.offset, data, size);
    // A short read has filled the rest with zeros and leaves the position
    // where the file ended.
    if (code == kHandleShortRead || !check(code)) return;
    if (transfer.record->mode == kModeRandom && size < transfer.record->record_length)
        step_to_next_record(transfer);
}

void FileSystem::file_put(int32_t file_number, int64_t record, const void* data, int64_t size,
                          bool given) {
    if (errors_.pending()) return;
    Transfer transfer;
    if (!begin_transfer(file_number, record, given, true, size, transfer)) return;
    if (!check(handles_.handle_write(transfer.handle, transfer.offset, data, size))) return;
    if (transfer.record->mode == kModeRandom && size < transfer.record->record_length)
        step_to_next_record(transfer);
}

void FileSystem::file_put_string(int32_t file_number, int64_t record, StringDescriptor* text,
                                 bool given) {
    if (errors_.pending()) return;
    int32_t handle = open_handle(file_number);
    if (handle >= 0) {
        FileHandle* file = handles_.get(handle);
        if (file->mode == kModeRandom && !file->screen_device) {
            uint64_t length = uint64_t(text->length);
            std::vector<uint8_t> block;
            if (length < 32768) {
                block = {uint8_t(length), uint8_t(length >> 8)};
            } else {
                uint64_t high = length / 32768;
                uint16_t low = uint16_t((length & 0x7FFF) | 0x8000);
                block = {uint8_t(low), uint8_t(low >> 8)};
                for (int i = 0; i < 6; ++i) block.push_back(uint8_t(high >> (8 * i)));
            }
            block.insert(block.end(), text->text, text->text + length);
            // file_put refuses a block longer than the record (59).
            file_put(file_number, record, block.data(), int64_t(block.size()), given);
        } else {
            file_put(file_number, record, text->text, text->length, given);
        }
    }
    strings_.free_if_temporary(text);
}

void FileSystem::file_get_string(int32_t file_number, int64_t record, StringDescriptor* variable,
                                 bool given) {
    if (errors_.pending()) return;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return;
    FileHandle* file = handles_.get(handle);
    if (file->mode != kModeRandom || file->screen_device) {
        // Binary files fill the variable as it stands.
        return file_get(file_number, record, variable->text, variable->length, given);
    }
    Transfer transfer;
    int64_t record_length = file->record_length;
    if (!begin_transfer(file_number, record, given, false, record_length, transfer)) return;
    uint8_t* buffer = file->record_buffer.get();
    int64_t got = 0;
    int64_t code = handles_.handle_read(handle, transfer.offset, buffer, record_length, &got);
    if (code != kHandleShortRead && !check(code)) return;
    if (got == 0) {
        step_to_next_record(transfer);
        strings_.string_assign(variable, strings_.string_new(0, true));
        return;
    }
    if (record_length < 8) std::memset(buffer + record_length, 0, size_t(8 - record_length));

    uint64_t length = uint64_t(buffer[0]) | uint64_t(buffer[1]) << 8;
    int64_t prefix = 2;
    bool too_long;
    if (length & 0x8000) {
        uint64_t high = 0;
        for (int i = 0; i < 6; ++i) high |= uint64_t(buffer[2 + i]) << (8 * i);
        length = high * 32768 + (length & 0x7FFF);
        prefix = 8;
        too_long = record_length <= 7 || length > uint64_t(record_length - prefix);
    } else {
        too_long = record_length < prefix || length > uint64_t(record_length - prefix);
    }
    if (too_long) {
        check(handles_.handle_seek(handle, transfer.offset));
        return fail(59);
    }
    if (length > uint64_t(INT32_MAX)) return fail(14);
    step_to_next_record(transfer);
    if (errors_.pending()) return;
    StringDescriptor* value = strings_.string_new(uint32_t(length), true);
    if (!value || errors_.pending()) return;
    std::memcpy(value->text, buffer + prefix, size_t(length));
    strings_.string_assign(variable, value);
}

}  // namespace quendrel
