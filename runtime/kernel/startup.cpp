#include "runtime/kernel/startup.h"

namespace quendrel {

std::string program_directory_of(const std::string& executable) {
    for (size_t i = executable.size(); i-- > 0;) {
        char c = executable[i];
        if (c == ':') return executable.substr(0, i + 1);
        if (c == '\\' || c == '/') {
            // A program at the root keeps the root itself as its folder.
            return i == 0 ? executable.substr(0, 1) : executable.substr(0, i);
        }
    }
    return {};
}

std::string join_command_line(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

void take_time_base(Platform& platform, RunState& run) {
    int64_t first = 0, now = 0;
    bool have_time = platform.calendar_time(first);
    now = first;
    if (have_time) {
        while (platform.calendar_time(now) && now == first) platform.sleep_ms(1);
    }
    run.clock_base_ms = int32_t(platform.clock_ms());
    LocalTime local;
    if (have_time && platform.local_time(now, local))
        run.midnight_base_ms = (local.hour * 3600 + local.minute * 60 + local.second) * 1000;
    else
        run.midnight_base_ms = 0;
}

int64_t milliseconds_since_midnight(Platform& platform, const RunState& run) {
    int64_t elapsed = int64_t(uint32_t(platform.clock_ms() - uint32_t(run.clock_base_ms)));
    return (elapsed + run.midnight_base_ms) % 86400000;
}

}  // namespace quendrel
