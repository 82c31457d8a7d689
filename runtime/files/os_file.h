// One operating-system file with the sharing rules of the OPEN lock clause.
//
// Linux locks are advisory, so the rules are kept among the openings that
// follow them: every opening of a regular file holds shared open-file-
// description locks on four bytes far beyond any data, one each for "I read",
// "I write", "others may not read" and "others may not write". An opening
// places its own bytes first and then tests the opposite bytes of everybody
// else; if two incompatible openings race, both see each other and both
// fail, never both succeed. Open-file-description locks belong to the
// opening, not the process, so two openings in one process see each other
// just as two processes do. Descriptors are close-on-exec so a child
// program cannot keep a lock alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quendrel {

class OsFile {
public:
    // Returned by open instead of an errno value when the lock rules refuse.
    static constexpr int kSharingViolation = -1;

    struct Request {
        bool read = false, write = false;
        bool create = false;
        bool lock_read = false, lock_write = false;  // others may not read / write
    };

    OsFile() = default;
    ~OsFile() { close(); }
    OsFile(OsFile&& other) noexcept { *this = static_cast<OsFile&&>(other); }
    OsFile& operator=(OsFile&& other) noexcept;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    // 0, an errno value, or kSharingViolation. Nothing stays open on failure.
    int open(const std::string& path, const Request& request);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // Reads until count bytes or the end of the file; 0 or an errno value.
    int read(void* buffer, size_t count, size_t& done);
    // Writes count bytes; 0 or an errno value (done < count without an
    // errno value is a short write).
    int write(const void* buffer, size_t count, size_t& done);
    int seek(int64_t offset);
    int truncate();
    // -1 when the size cannot be told.
    int64_t size() const;

private:
    bool place_locks(int fd, const Request& request);
    bool others_hold(int fd, int64_t byte) const;

    int fd_ = -1;
    int lock_fd_ = -1;  // a second, readable descriptor when fd_ is write-only
};

}  // namespace quendrel
