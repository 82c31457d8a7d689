#include "runtime/files/os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

namespace quendrel {
namespace {

// The four sharing bytes, placed at the top of the offset range where no
// real data can be.
constexpr int64_t kLockBase = INT64_MAX - 15;
constexpr int64_t kReadsByte = kLockBase + 0;
constexpr int64_t kWritesByte = kLockBase + 1;
constexpr int64_t kDeniesReadByte = kLockBase + 2;
constexpr int64_t kDeniesWriteByte = kLockBase + 3;

// One call moves at most this much; Linux caps a single transfer below 2 GiB.
constexpr size_t kPiece = 0x7FFFF000;

struct flock lock_record(short type, int64_t byte) {
    struct flock record {};
    record.l_type = type;
    record.l_whence = SEEK_SET;
    record.l_start = byte;
    record.l_len = 1;
    record.l_pid = 0;
    return record;
}

}  // namespace

OsFile& OsFile::operator=(OsFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        lock_fd_ = other.lock_fd_;
        other.fd_ = -1;
        other.lock_fd_ = -1;
    }
    return *this;
}

int OsFile::open(const std::string& path, const Request& request) {
    close();
    int flags = O_CLOEXEC | O_NOCTTY;
    if (request.read && request.write)
        flags |= O_RDWR;
    else if (request.write)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (request.create) flags |= O_CREAT;

    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;

    struct stat info {};
    if (fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return error;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    fd_ = fd;
    if (!S_ISREG(info.st_mode)) return 0;  // devices and pipes share freely

    // Shared locks need a readable descriptor; a write-only opening takes a
    // second one on the same file for them. Without read permission the
    // opening can still test the others' rules, but cannot announce its own.
    int lock_fd = fd_;
    if (!request.read) {
        std::string self = "/proc/self/fd/" + std::to_string(fd_);
        lock_fd_ = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        lock_fd = lock_fd_;
    }
    bool ok = true;
    if (lock_fd >= 0) ok = place_locks(lock_fd, request);
    int test_fd = lock_fd >= 0 ? lock_fd : fd_;
    if (ok && request.read && others_hold(test_fd, kDeniesReadByte)) ok = false;
    if (ok && request.write && others_hold(test_fd, kDeniesWriteByte)) ok = false;
    if (ok && request.lock_read && others_hold(test_fd, kReadsByte)) ok = false;
    if (ok && request.lock_write && others_hold(test_fd, kWritesByte)) ok = false;
    if (!ok) {
        close();
        return kSharingViolation;
    }
    return 0;
}

bool OsFile::place_locks(int fd, const Request& request) {
    const std::pair<bool, int64_t> wanted[] = {
        {request.read, kReadsByte},
        {request.write, kWritesByte},
        {request.lock_read, kDeniesReadByte},
        {request.lock_write, kDeniesWriteByte},
    };
    for (const auto& [on, byte] : wanted) {
        if (!on) continue;
        struct flock record = lock_record(F_RDLCK, byte);
        int result;
        do {
            result = fcntl(fd, F_OFD_SETLK, &record);
        } while (result != 0 && errno == EINTR);
        // Only a conflicting lock refuses; a file system without byte-range
        // locks shares the file without them.
        if (result != 0) return errno != EAGAIN && errno != EACCES;
    }
    return true;
}

bool OsFile::others_hold(int fd, int64_t byte) const {
    // An exclusive lock could be placed only if no other opening holds the
    // byte; our own locks never conflict with us.
    struct flock record = lock_record(F_WRLCK, byte);
    if (fcntl(fd, F_OFD_GETLK, &record) != 0) return false;
    return record.l_type != F_UNLCK;
}

void OsFile::close() {
    if (lock_fd_ >= 0) ::close(lock_fd_);
    if (fd_ >= 0) ::close(fd_);
    lock_fd_ = -1;
    fd_ = -1;
}

int OsFile::read(void* buffer, size_t count, size_t& done) {
    done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        size_t piece = count - done < kPiece ? count - done : kPiece;
        ssize_t got = ::read(fd_, bytes + done, piece);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return 0;
}

int OsFile::write(const void* buffer, size_t count, size_t& done) {
    done = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        size_t piece = count - done < kPiece ? count - done : kPiece;
        ssize_t put = ::write(fd_, bytes + done, piece);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) break;
        done += size_t(put);
    }
    return 0;
}

int OsFile::seek(int64_t offset) {
    if (lseek(fd_, off_t(offset), SEEK_SET) < 0) return errno;
    return 0;
}

int OsFile::truncate() {
    int result;
    do {
        result = ftruncate(fd_, 0);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int64_t OsFile::size() const {
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0) return -1;
    return int64_t(info.st_size);
}

}  // namespace quendrel
