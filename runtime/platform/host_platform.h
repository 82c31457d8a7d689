// The real platform: POSIX clocks and files, X11 for the message boxes and
// the lock-key states.
#pragma once

#include <mutex>

#include "runtime/platform/platform.h"

typedef struct _XDisplay Display;

namespace quendrel {

class HostPlatform : public Platform {
public:
    HostPlatform() = default;
    ~HostPlatform() override;
    HostPlatform(const HostPlatform&) = delete;
    HostPlatform& operator=(const HostPlatform&) = delete;

    uint32_t clock_ms() override;
    void sleep_ms(uint32_t ms) override;
    void yield() override;
    bool calendar_time(int64_t& seconds) override;
    bool local_time(int64_t seconds, LocalTime& out) override;
    std::string executable_path() override;
    bool current_directory(std::string& out) override;
    bool change_directory(const std::string& path) override;
    int message_box(const std::string& text, const std::string& caption, uint32_t style) override;
    LockKeyStates lock_key_states() override;
    LockKeyStates lock_key_toggles() override;
    [[noreturn]] void exit_process(int status) override;

private:
    std::mutex keys_mutex_;
    Display* keys_display_ = nullptr;  // own connection, opened on first use
    bool keys_display_failed_ = false;
    bool open_keys_display();
    // The indicator state, kept up to date from the server's notifications
    // so the frame thread need not ask the server every 32 ms.
    bool toggles_known_ = false;
    bool indicator_events_ = false;
    int xkb_event_base_ = 0;
    unsigned indicators_ = 0;
};

}  // namespace quendrel
