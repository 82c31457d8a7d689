// File handles and the byte layer every file statement is built on.
//
// Records live in a growable array; closed records go on a stack of free
// indices and are reused first, zeroed and with a fresh serial. The
// operating-system file of each record sits in a parallel array. The byte
// operations answer with small negative result codes; handle_error turns a
// code into the runtime error the statements raise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/os_file.h"

namespace quendrel {

enum FileMode : uint8_t {
    kModeRandom = 1,
    kModeBinary = 2,
    kModeInput = 3,
    kModeOutput = 4,  // append files too
};

// Result codes of the handle layer.
enum : int64_t {
    kHandleOk = 0,
    kHandleShortWrite = -1,
    kHandleNone = -2,        // no such handle
    kHandleWrongMode = -3,   // not readable / not writable, or seek failed
    kHandleNegative = -4,    // negative size or position
    kHandleDenied = -7,      // access denied or lock violation
    kHandleFailed = -9,      // device or read/write failure
    kHandleShortRead = -10,  // end of file reached: not an error
};

struct FileHandle {
    int64_t serial = 0;
    bool in_use = false;
    bool can_read = false, can_write = false;
    bool lock_read = false, lock_write = false;
    int64_t position = 0;
    bool eof_hit = false;
    int32_t file_number = 0;
    uint8_t mode = 0;
    int64_t record_length = 0;
    std::unique_ptr<uint8_t[]> record_buffer;
    int64_t print_column = 1;
    int32_t port_number = 0;
    bool screen_device = false;
};

// The runtime error for a result code, 0 for success and short reads.
constexpr int32_t handle_error(int64_t code) {
    switch (code) {
    case kHandleOk:
    case kHandleShortRead: return 0;
    case kHandleNone: return 258;
    case kHandleWrongMode: return 54;
    case kHandleNegative: return 5;
    case kHandleDenied: return 70;
    default: return 75;
    }
}

class FileHandleTable {
public:
    // A zeroed record with a new serial; its index.
    int32_t new_handle();
    FileHandle* get(int32_t handle);
    OsFile& os_file(int32_t handle) { return files_[size_t(handle)]; }

    // position −1 means the current one. `done`, when given, receives the
    // bytes actually moved.
    int64_t handle_read(int32_t handle, int64_t position, void* buffer, int64_t count,
                        int64_t* done = nullptr);
    int64_t handle_write(int32_t handle, int64_t position, const void* buffer, int64_t count,
                         int64_t* done = nullptr);
    int64_t handle_seek(int32_t handle, int64_t position);
    int64_t handle_position(int32_t handle);  // the position, or a result code
    int64_t handle_length(int32_t handle);    // the length, or a result code
    int64_t handle_close(int32_t handle);

    size_t record_count() const { return records_.size(); }

private:
    FileHandle* usable(int32_t handle, int64_t& code);

    std::vector<FileHandle> records_;
    std::vector<OsFile> files_;
    std::vector<int32_t> free_indices_;
    int64_t next_serial_ = 1;
};

}  // namespace quendrel
