#include "runtime/files/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

namespace quendrel {
namespace {

// Frees a temporary string argument when the operation leaves.
class Consume {
public:
    Consume(StringHeap& strings, StringDescriptor* d) : strings_(strings), d_(d) {}
    ~Consume() {
        if (d_) strings_.free_if_temporary(d_);
    }
    Consume(const Consume&) = delete;
    Consume& operator=(const Consume&) = delete;

private:
    StringHeap& strings_;
    StringDescriptor* d_;
};

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool starts_with_word(const std::string& name, const char* word) {
    size_t i = 0;
    for (; word[i]; ++i)
        if (i >= name.size() || upper(name[i]) != word[i]) return false;
    return true;
}

// "COM" followed by a digit starts a serial-port name: COMn: with n from 1
// to 255, then options. 0 when the name is a plain file name, −1 when it is
// a malformed port name, else the port number.
int32_t com_port(const std::string& name) {
    if (!starts_with_word(name, "COM") || name.size() < 4 || name[3] < '0' || name[3] > '9')
        return 0;
    int32_t port = 0;
    size_t i = 3;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        port = port * 10 + (name[i] - '0');
        if (port > 255) return -1;
    }
    if (i >= name.size() || name[i] != ':' || port < 1) return -1;
    return port;
}

}  // namespace

int32_t FileSystem::open_error(int os_error, const std::string& path) const {
    switch (os_error) {
    case OsFile::kSharingViolation:
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
    case EAGAIN:
        return 70;
    case ENOTDIR:
        return 76;
    case ENXIO:
    case ENODEV:
        return 68;
    case ENOENT: {
        // The file or its folder: a missing folder is "Path not found".
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return 53;
        std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        struct stat info {};
        if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 76;
        return 53;
    }
    default:
        return 53;
    }
}

void FileSystem::file_open(StringDescriptor* name, int32_t mode, int32_t access, int32_t lock,
                           int32_t file_number, int64_t record_length, bool length_given) {
    if (errors_.pending()) return;
    Consume consume(strings_, name);
    if (length_given && (record_length == 0 || record_length < -1)) return fail(5);
    if (file_number < 1) return fail(52);
    if (numbers_.lookup(file_number) != -1) return fail(55);
    if (mode == 0) mode = kOpenRandom;
    if (mode < kOpenRandom || mode > kOpenAppend || access < kAccessNone || access > kAccessWrite ||
        lock < kLockNone || lock > kLockWrite)
        return fail(5);

    bool read = mode == kOpenRandom || mode == kOpenBinary || mode == kOpenInput;
    bool write = mode != kOpenInput;
    bool fallback = (mode == kOpenRandom || mode == kOpenBinary) && access == kAccessNone;
    if (access != kAccessNone) {
        read = access != kAccessWrite;
        write = access != kAccessRead;
    }
    bool lock_read = lock == kLockReadWrite || lock == kLockRead;
    bool lock_write = lock == kLockReadWrite || lock == kLockWrite;
    uint8_t stored_mode = uint8_t(mode == kOpenAppend ? kModeOutput : mode);

    std::string path(reinterpret_cast<const char*>(name->text), size_t(name->length));

    auto link = [&](int32_t handle) {
        FileHandle* record = handles_.get(handle);
        record->can_read = read;
        record->can_write = write;
        record->lock_read = lock_read;
        record->lock_write = lock_write;
        record->file_number = file_number;
        record->mode = stored_mode;
        record->position = 0;
        record->print_column = 1;
        numbers_.link(file_number, handle);
        return record;
    };

    if (path.size() >= 5 && starts_with_word(path, "SCRN") && path[4] == ':') {
        link(handles_.new_handle())->screen_device = true;
        return;
    }
    int32_t port = com_port(path);
    if (port < 0) return fail(64);
    if (port > 0) return fail(68);  // no serial ports here
    // The operating system would stop at a zero byte and open another file.
    if (path.find('\0') != std::string::npos) return fail(64);

    OsFile file;
    OsFile::Request request;
    request.read = read;
    request.write = write;
    request.create = mode != kOpenInput;
    request.lock_read = lock_read;
    request.lock_write = lock_write;
    int error = file.open(path, request);
    if (error != 0 && fallback) {
        // Read only, then write only, before giving up.
        request.write = false;
        if (file.open(path, request) == 0) {
            write = false;
            error = 0;
        } else {
            request.read = false;
            request.write = true;
            if (file.open(path, request) == 0) {
                read = false;
                error = 0;
            }
        }
    }
    if (error != 0) return fail(open_error(error, path));

    int64_t size = file.size();
    if (mode == kOpenOutput && size != 0) {
        // The lock rules have been checked by now, so truncating cannot
        // destroy a file someone else keeps from writers.
        int truncated = write ? file.truncate() : (::truncate(path.c_str(), 0) == 0 ? 0 : errno);
        if (truncated != 0) return fail(open_error(truncated, path));
        size = 0;
    }

    int32_t handle = handles_.new_handle();
    handles_.os_file(handle) = static_cast<OsFile&&>(file);
    FileHandle* record = link(handle);

    if (stored_mode == kModeRandom) {
        record->record_length =
            length_given && record_length != -1 ? record_length : kDefaultRecordLength;
        // At least 8 bytes so the longest length prefix can always be read.
        uint64_t bytes = uint64_t(record->record_length < 8 ? 8 : record->record_length);
        record->record_buffer.reset(new (std::nothrow) uint8_t[bytes]);
        if (!record->record_buffer) {
            close_number(file_number);
            return fail(7);
        }
    }
    if (mode == kOpenAppend && size > 0 && !check(handles_.handle_seek(handle, size))) {
        close_number(file_number);
        return;
    }
    if (mode == kOpenInput && size > 0 && read) {
        // A Ctrl+Z first byte makes the file count as empty.
        uint8_t first = 0;
        int64_t code = handles_.handle_read(handle, 0, &first, 1);
        if (code != kHandleOk && code != kHandleShortRead) {
            close_number(file_number);
            return fail(code == kHandleDenied ? 70 : 75);
        }
        bool mark = code == kHandleOk && first == 26;
        if (!check(handles_.handle_seek(handle, 0))) {
            close_number(file_number);
            return;
        }
        record->eof_hit = mark;
    }
}

void FileSystem::file_open_short(StringDescriptor* mode_letter, int32_t file_number,
                                 StringDescriptor* name, int64_t record_length, bool length_given) {
    if (errors_.pending()) return;
    int32_t mode = 0;
    if (mode_letter->length > 0) {
        switch (upper(char(mode_letter->text[0]))) {
        case 'R': mode = kOpenRandom; break;
        case 'B': mode = kOpenBinary; break;
        case 'I': mode = kOpenInput; break;
        case 'O': mode = kOpenOutput; break;
        case 'A': mode = kOpenAppend; break;
        default: break;
        }
    }
    strings_.free_if_temporary(mode_letter);
    if (mode == 0) {
        strings_.free_if_temporary(name);
        return fail(54);
    }
    file_open(name, mode, kAccessNone, kLockNone, file_number, record_length, length_given);
}

void FileSystem::close_number(int32_t file_number) {
    int32_t handle = numbers_.lookup(file_number);
    if (handle < 0) return;
    handles_.handle_close(handle);
    numbers_.unlink(file_number);
}

void FileSystem::file_close(int32_t file_number, bool given) {
    if (errors_.pending()) return;
    if (!given) return close_all();
    close_number(file_number);
}

void FileSystem::close_all() {
    // Network connections would close first; this runtime has none.
    for (int32_t number : numbers_.numbers_in_use()) close_number(number);
}

int32_t FileSystem::free_file_number() {
    if (errors_.pending()) return 0;
    return numbers_.lowest_free();
}

int32_t FileSystem::open_handle(int32_t file_number) {
    int32_t handle = numbers_.lookup(file_number);
    if (handle < 0) fail(52);
    return handle;
}

bool FileSystem::check(int64_t code) {
    int32_t error = handle_error(code);
    if (error == 0) return true;
    fail(error);
    return false;
}

int64_t FileSystem::file_length(int32_t file_number) {
    if (errors_.pending()) return 0;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return 0;
    int64_t length = handles_.handle_length(handle);
    if (length < 0) {
        check(length);
        return 0;
    }
    return length;
}

int32_t FileSystem::file_at_end(int32_t file_number) {
    if (errors_.pending()) return 0;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return 0;
    FileHandle* record = handles_.get(handle);
    if (record->screen_device) {
        fail(5);
        return 0;
    }
    if (record->eof_hit) return -1;
    if (record->mode == kModeInput) {
        int64_t length = handles_.handle_length(handle);
        if (length < 0) {
            check(length);
            return 0;
        }
        if (record->position >= length) return -1;
    }
    return 0;
}

void FileSystem::file_seek(int32_t file_number, int64_t position) {
    if (errors_.pending()) return;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return;
    FileHandle* record = handles_.get(handle);
    if (position < 1) return fail(63);
    int64_t offset = position - 1;
    if (record->mode == kModeRandom &&
        __builtin_mul_overflow(position - 1, record->record_length, &offset))
        return fail(63);
    check(handles_.handle_seek(handle, offset));
}

int64_t FileSystem::file_position(int32_t file_number) {
    if (errors_.pending()) return 0;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return 0;
    FileHandle* record = handles_.get(handle);
    if (record->screen_device) return 0;
    if (record->mode == kModeRandom) return record->position / record->record_length + 1;
    return record->position + 1;
}

int64_t FileSystem::file_location(int32_t file_number) {
    if (errors_.pending()) return 0;
    int32_t handle = open_handle(file_number);
    if (handle < 0) return 0;
    FileHandle* record = handles_.get(handle);
    if (record->screen_device) {
        fail(5);
        return 0;
    }
    switch (record->mode) {
    case kModeRandom: return record->position / record->record_length + 1;
    case kModeBinary: return record->position;
    default: return (record->position - 1) / 128 + 1;
    }
}

}  // namespace quendrel
