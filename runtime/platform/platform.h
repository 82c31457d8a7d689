// The operating-system seam: everything the runtime asks of the host goes
// through here, so tests can drive the clock and answer message boxes.
#pragma once

#include <cstdint>
#include <string>

namespace quendrel {

// Message-box styles and results keep the classic numeric values because the
// runtime's dialogs are described in them.
enum : uint32_t {
    kBoxOk = 0x0,
    kBoxYesNo = 0x4,
    kBoxSystemModal = 0x1000,
};
enum : int {
    kBoxResultOk = 1,
    kBoxResultYes = 6,
    kBoxResultNo = 7,
};

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

struct LockKeyStates {
    bool caps_toggled = false, num_toggled = false, scroll_toggled = false;
    bool scroll_down = false;
    bool left_shift = false, right_shift = false;
    bool left_ctrl = false, right_ctrl = false;
    bool left_alt = false, right_alt = false;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Processor clock in milliseconds (wraps like a 32-bit tick count).
    virtual uint32_t clock_ms() = 0;
    virtual void sleep_ms(uint32_t ms) = 0;
    virtual void yield() = 0;

    // Calendar time in whole seconds; false when the host cannot tell.
    virtual bool calendar_time(int64_t& seconds) = 0;
    virtual bool local_time(int64_t seconds, LocalTime& out) = 0;

    virtual std::string executable_path() = 0;
    virtual bool current_directory(std::string& out) = 0;
    virtual bool change_directory(const std::string& path) = 0;

    // Modal box shown on the calling thread; returns kBoxResult*.
    virtual int message_box(const std::string& text, const std::string& caption,
                            uint32_t style) = 0;

    // Toggles and held modifier and lock keys, as start-up reads them.
    virtual LockKeyStates lock_key_states() = 0;
    // Only the three toggles; asked for every 32 ms, so a host may answer
    // from what it already knows.
    virtual LockKeyStates lock_key_toggles() { return lock_key_states(); }

    // Ends the whole process at once with the given status.
    [[noreturn]] virtual void exit_process(int status) = 0;
};

}  // namespace quendrel
