// The file statements on file numbers: OPEN in its five modes with the
// access and lock clauses, CLOSE, FREEFILE, LOF, EOF, SEEK, LOC and the
// record and byte transfers of GET and PUT.
//
// Random files move in whole records of record_length bytes; binary files
// address single bytes; input, output and append files are sequential text
// files (the text statements live in TextFiles). The name "SCRN:" opens the
// screen device, whose output TextFiles sends to the screen; COMn: names are
// checked but serial ports are not available on this platform.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/files/file_handles.h"
#include "runtime/files/file_numbers.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

enum : int32_t {
    kOpenRandom = 1,  // 0 means random as well
    kOpenBinary = 2,
    kOpenInput = 3,
    kOpenOutput = 4,
    kOpenAppend = 5,
};
enum : int32_t {
    kAccessNone = 0,
    kAccessReadWrite = 1,
    kAccessRead = 2,
    kAccessWrite = 3,
};
enum : int32_t {
    kLockNone = 0,
    kLockShared = 1,
    kLockReadWrite = 2,
    kLockRead = 3,
    kLockWrite = 4,
};

class FileSystem {
public:
    static constexpr int64_t kDefaultRecordLength = 128;

    FileSystem(RuntimeErrors& errors, StringHeap& strings) : errors_(errors), strings_(strings) {}
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // String arguments that are temporaries are consumed.
    void file_open(StringDescriptor* name, int32_t mode, int32_t access, int32_t lock,
                   int32_t file_number, int64_t record_length, bool length_given);
    void file_open_short(StringDescriptor* mode_letter, int32_t file_number, StringDescriptor* name,
                         int64_t record_length, bool length_given);
    void file_close(int32_t file_number, bool given);
    // Closes every open number in ascending order. Runs even while an error
    // is pending: program end and the shutdown call it.
    void close_all();

    int32_t free_file_number();
    int64_t file_length(int32_t file_number);
    int32_t file_at_end(int32_t file_number);
    void file_seek(int32_t file_number, int64_t position);
    int64_t file_position(int32_t file_number);
    int64_t file_location(int32_t file_number);

    void file_get(int32_t file_number, int64_t record, void* data, int64_t size, bool given);
    void file_put(int32_t file_number, int64_t record, const void* data, int64_t size, bool given);
    void file_get_string(int32_t file_number, int64_t record, StringDescriptor* variable, bool given);
    void file_put_string(int32_t file_number, int64_t record, StringDescriptor* text, bool given);

    // For the text statements: the handle of an open number, or −1.
    int32_t handle_of(int32_t file_number) const { return numbers_.lookup(file_number); }
    // The handle of an open number; raises 52 and gives −1 otherwise.
    int32_t open_handle(int32_t file_number);
    FileHandleTable& handles() { return handles_; }
    // Raises the runtime error of a handle-layer result; false when it did.
    bool check(int64_t code);

    RuntimeErrors& errors() { return errors_; }
    StringHeap& strings() { return strings_; }

private:
    struct Transfer {
        int32_t handle = -1;
        FileHandle* record = nullptr;
        int64_t offset = 0;
    };
    // The checks and the offset shared by GET and PUT; false after raising.
    bool begin_transfer(int32_t file_number, int64_t record, bool given, bool writing, int64_t size,
                        Transfer& transfer);
    // Random files: the position after a transfer that did not fill the record.
    void step_to_next_record(const Transfer& transfer);
    int32_t open_error(int os_error, const std::string& path) const;
    void close_number(int32_t file_number);
    void fail(int32_t code) { errors_.raise_error(code); }

    RuntimeErrors& errors_;
    StringHeap& strings_;
    FileNumberTable numbers_;
    FileHandleTable handles_;
};

}  // namespace quendrel
