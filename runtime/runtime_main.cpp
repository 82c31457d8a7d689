#include "runtime/platform/host_platform.h"
#include "runtime/runtime.h"

namespace quendrel {

int runtime_main(int argc, char** argv, ProgramMain program) {
    // Lives for the whole process: the threads use it until the exit.
    static HostPlatform platform;
    static Runtime runtime(platform);
    runtime.start_up(argc, argv);
    runtime.start_threads(program);
    // The main thread has nothing to serve until a window exists; it waits
    // for the frame thread to end the process.
    for (;;) platform.sleep_ms(100);
}

}  // namespace quendrel
