// Pieces of process start-up that depend only on the host: the program's
// directory, the joined command line and the time base.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/kernel/run_state.h"
#include "runtime/platform/platform.h"

namespace quendrel {

// The folder of an executable path: cut at the last '\\' or '/', or just
// after a drive colon. Empty when the path names no folder.
std::string program_directory_of(const std::string& executable);

// Arguments 1 .. argc-1 joined by single spaces.
std::string join_command_line(int argc, const char* const* argv);

// Waits for the calendar second to change so the base lies on a whole
// second, then records the processor clock and milliseconds since midnight.
void take_time_base(Platform& platform, RunState& run);

// Milliseconds since local midnight now, from the time base.
int64_t milliseconds_since_midnight(Platform& platform, const RunState& run);

}  // namespace quendrel
