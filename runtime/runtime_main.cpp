#include "runtime/platform/host_platform.h"
#include "runtime/runtime.h"

namespace quendrel {

int runtime_main(int argc, char** argv, ProgramMain program) {
    // Lives for the whole process: the threads use it until the exit.
    static HostPlatform platform;
    static Runtime runtime(platform);
    runtime.start_up(argc, argv);
    runtime.start_threads(program);
    // The window and its event loop keep the main thread; the frame thread
    // ends the process.
    runtime.glut_window->run(argc, argv);
}

}  // namespace quendrel
