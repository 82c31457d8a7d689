#include "runtime/files/file_handles.h"

#include <cerrno>
#include <cstring>

namespace quendrel {
namespace {

int64_t os_failure(int error) {
    return error == EACCES || error == EPERM ? kHandleDenied : kHandleFailed;
}

}  // namespace

int32_t FileHandleTable::new_handle() {
    int32_t index;
    if (!free_indices_.empty()) {
        index = free_indices_.back();
        free_indices_.pop_back();
    } else {
        index = int32_t(records_.size());
        records_.emplace_back();
        files_.emplace_back();
    }
    records_[size_t(index)] = FileHandle{};
    records_[size_t(index)].serial = next_serial_++;
    records_[size_t(index)].in_use = true;
    return index;
}

FileHandle* FileHandleTable::get(int32_t handle) {
    if (handle < 0 || size_t(handle) >= records_.size()) return nullptr;
    FileHandle& record = records_[size_t(handle)];
    return record.in_use ? &record : nullptr;
}

FileHandle* FileHandleTable::usable(int32_t handle, int64_t& code) {
    FileHandle* record = get(handle);
    code = kHandleOk;
    if (!record) {
        code = kHandleNone;
    } else if (record->screen_device || !files_[size_t(handle)].is_open()) {
        code = kHandleNegative;  // nothing to read, write or measure
        record = nullptr;
    }
    return record;
}

int64_t FileHandleTable::handle_read(int32_t handle, int64_t position, void* buffer,
                                     int64_t count, int64_t* done) {
    if (done) *done = 0;
    FileHandle* record = get(handle);
    if (!record) return kHandleNone;
    if (!record->can_read) return kHandleWrongMode;
    if (count < 0) return kHandleNegative;
    int64_t code;
    if (!usable(handle, code)) return code;
    if (position != -1) {
        code = handle_seek(handle, position);
        if (code != kHandleOk) return code;
    }
    size_t got = 0;
    int error = files_[size_t(handle)].read(buffer, size_t(count), got);
    record->position += int64_t(got);
    if (done) *done = int64_t(got);
    if (error != 0) return os_failure(error);
    if (int64_t(got) < count) {
        std::memset(static_cast<uint8_t*>(buffer) + got, 0, size_t(count) - got);
        record->eof_hit = true;
        return kHandleShortRead;
    }
    record->eof_hit = false;
    return kHandleOk;
}

int64_t FileHandleTable::handle_write(int32_t handle, int64_t position, const void* buffer,
                                      int64_t count, int64_t* done) {
    if (done) *done = 0;
    FileHandle* record = get(handle);
    if (!record) return kHandleNone;
    if (!record->can_write) return kHandleWrongMode;
    if (count < 0) return kHandleNegative;
    int64_t code;
    if (!usable(handle, code)) return code;
    if (position != -1) {
        code = handle_seek(handle, position);
        if (code != kHandleOk) return code;
    }
    size_t put = 0;
    int error = files_[size_t(handle)].write(buffer, size_t(count), put);
    record->position += int64_t(put);
    if (done) *done = int64_t(put);
    if (error != 0) return os_failure(error);
    return int64_t(put) < count ? kHandleShortWrite : kHandleOk;
}

int64_t FileHandleTable::handle_seek(int32_t handle, int64_t position) {
    int64_t code;
    FileHandle* record = usable(handle, code);
    if (!record) return code;
    if (position < 0) return kHandleNegative;
    if (files_[size_t(handle)].seek(position) != 0) return kHandleWrongMode;
    record->position = position;
    return kHandleOk;
}

int64_t FileHandleTable::handle_position(int32_t handle) {
    FileHandle* record = get(handle);
    return record ? record->position : kHandleNone;
}

int64_t FileHandleTable::handle_length(int32_t handle) {
    int64_t code;
    if (!usable(handle, code)) return code;
    int64_t size = files_[size_t(handle)].size();
    return size < 0 ? kHandleFailed : size;
}

int64_t FileHandleTable::handle_close(int32_t handle) {
    FileHandle* record = get(handle);
    if (!record) return kHandleNone;
    files_[size_t(handle)].close();
    records_[size_t(handle)] = FileHandle{};
    free_indices_.push_back(handle);
    return kHandleOk;
}

}  // namespace quendrel
