// Numbered runtime errors, the statement checkpoint and the error dialog.
//
// raise_error records the first error of a statement (critical ones end the
// process at once); every operation that can fail checks pending() on entry
// and does nothing while an error waits; the statement's checkpoint then
// shows the Yes/No dialog.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/kernel/run_state.h"
#include "runtime/platform/platform.h"

namespace quendrel {

// Something statement_checkpoint looks at for pending trap or timer events.
// take_one runs at most one pending handler and says whether it did.
class EventSource {
public:
    virtual ~EventSource() = default;
    virtual bool take_one() = 0;
};

class RuntimeErrors {
public:
    RuntimeErrors(RunState& run, Platform& platform) : run_(run), platform_(platform) {}

    void raise_error(int32_t code);
    bool pending() const { return run_.error_pending(); }

    void statement_checkpoint(int32_t line, int32_t include_line = 0,
                              const char* include_file = nullptr);
    void error_dispatch();
    void event_dispatch();

    // Offset is index − lower bound; an offset outside the array raises 9.
    uint64_t array_index_check(uint64_t offset, uint64_t count);

    // Program thread only: report halted and wait for the process exit.
    [[noreturn]] void halt_program_thread();

    // Dispatch order is device buttons, key traps, timers.
    enum class EventKind { DeviceButton = 0, KeyTrap = 1, Timer = 2 };
    void set_event_source(EventKind kind, EventSource* source) {
        sources_[int(kind)] = source;
    }

    static const char* error_message(int32_t code);  // null when unprintable
    static bool is_critical(int32_t code, const char** text, std::string* caption);

    int32_t repeat_request = 0;
    uint32_t error_line = 0;
    uint32_t error_include_line = 0;
    std::string error_include_file;

    RunState& run() { return run_; }
    Platform& platform() { return platform_; }

private:
    RunState& run_;
    Platform& platform_;
    EventSource* sources_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace quendrel
