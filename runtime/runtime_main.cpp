#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "runtime/platform/host_platform.h"
#include "runtime/runtime.h"

namespace quendrel {

int runtime_main(int argc, char** argv, ProgramMain program) {
    // Lives for the whole process: the threads use it until the exit.
    static HostPlatform platform;
    static Runtime runtime(platform);
    // Resolved before start-up moves to the program's folder.
    std::error_code ignored;
    const char* dump = std::getenv("QUENDREL_SHOWN_FRAMES");
    const std::filesystem::path dump_path =
        dump && *dump ? std::filesystem::absolute(dump, ignored) : std::filesystem::path();
    runtime.start_up(argc, argv);
    // QUENDREL_SHOWN_FRAMES=path: each frame shown goes to path.N (int32 width, height, pixels).
    if (!dump_path.empty()) runtime.presenter->dump_shown_frames_to(dump_path.string());
    runtime.start_threads(program);
    // The window and its event loop keep the main thread; the frame thread
    // ends the process.
    runtime.glut_window->run(argc, argv);
}

}  // namespace quendrel
