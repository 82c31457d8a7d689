// The Runtime owns one of each subsystem, builds them in start-up order and
// hands each its collaborators. A translated program holds a Runtime&.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/console/clock.h"
#include "runtime/console/input_editor.h"
#include "runtime/console/key_layer.h"
#include "runtime/console/key_traps.h"
#include "runtime/console/screen.h"
#include "runtime/console/text_output.h"
#include "runtime/display/display_state.h"
#include "runtime/display/display_tables.h"
#include "runtime/display/display_order.h"
#include "runtime/display/font_select.h"
#include "runtime/display/frame_builder.h"
#include "runtime/display/frame_ring.h"
#include "runtime/display/glut_window.h"
#include "runtime/display/hardware_images.h"
#include "runtime/display/presenter.h"
#include "runtime/display/window_input.h"
#include "runtime/display/window_state.h"
#include "runtime/files/file_system.h"
#include "runtime/files/screen_device.h"
#include "runtime/kernel/emulated_memory.h"
#include "runtime/kernel/messages.h"
#include "runtime/kernel/object_list.h"
#include "runtime/kernel/return_stack.h"
#include "runtime/kernel/run_state.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/kernel/threads.h"
#include "runtime/platform/platform.h"
#include "runtime/strings/format_using.h"
#include "runtime/strings/number_text.h"
#include "runtime/strings/string_functions.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

class Runtime;
using ProgramMain = void (*)(Runtime&);

// The screen device of the file statements prints through text output.
class ScreenPrinter : public ScreenDevice {
public:
    explicit ScreenPrinter(TextOutput& text) : text_(text) {}
    void print(StringDescriptor* s, bool line_end) override { text_.print_string(s, line_end); }

private:
    TextOutput& text_;
};

struct InputDevice {
    std::string name, description;
    int32_t kind = 0, buttons = 0, axes = 0, wheels = 0;
};

class Runtime {
public:
    explicit Runtime(Platform& platform);
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Start-up up to the threads, in the fixed order.
    void start_up(int argc, const char* const* argv);
    // Starts the program, timer and frame threads.
    void start_threads(ProgramMain program);

    // The END of a translated program: the closing prompt on the bottom
    // row, one key, then the run stops. Program thread only.
    [[noreturn]] void program_end();

    Platform& platform;
    RunState run;
    EmulatedMemory memory;
    MessageBoxes boxes{platform};
    RuntimeErrors errors{run, platform};
    StaticArena arena{errors};
    StringHeap strings{errors, memory};
    StringFunctions functions{strings, errors};
    NumberText numbers{strings};
    FormatUsing format{strings, errors};
    ReturnStack return_stack{errors};
    TimerTable timers{run};
    KernelThreads threads{run, platform, memory, errors, timers};

    DisplayState display;
    DisplayTables tables;
    Screen screen{errors, platform, memory, tables, display};
    TextOutput text{errors, screen, platform};
    FontSelector fonts{errors, tables, screen, display};

    KeyTrapTable traps{errors, strings};
    KeyLayer keys{errors, platform, memory, strings, traps};
    Clock clock{errors, platform, display, keys};
    InputEditor input{errors, platform, screen, text, strings, keys};

    FileSystem files{errors, strings};
    ScreenPrinter screen_printer{text};

    FrameRing frame_ring;
    DisplayOrder display_order{errors};
    FrameBuilder frame_builder{screen, tables, display, frame_ring, display_order, boxes, platform};
    WindowState window{errors, display};
    HardwareCommandList hardware_commands{boxes};

    std::unique_ptr<ObjectList> mouse_queues, file_handles, hardware_images;
    std::unique_ptr<ObjectList> lists_40a, lists_40b, lists_112;
    std::vector<uint8_t> first_mouse_ring;  // 65,536 entries of 12 bytes
    // Made by start_up over the lists and the ring above.
    std::unique_ptr<MouseRing> mouse_ring;
    std::unique_ptr<WindowInput> window_input;
    std::unique_ptr<Presenter> presenter;
    std::unique_ptr<GlutWindow> glut_window;

    uint32_t environment_count = 0;
    uint8_t keyboard_port_latch = 0;
    std::vector<InputDevice> input_devices;

    StringDescriptor* start_directory = nullptr;
    StringDescriptor* program_directory = nullptr;
    StringDescriptor* command_line = nullptr;
    int argc = 0;
    const char* const* argv = nullptr;

private:
    // The frame thread's alternate passes: a frame slot, the lock keys.
    class FramePass : public FramePassWork {
    public:
        explicit FramePass(Runtime& rt) : rt_(rt) {}
        void frame_slot() override { rt_.frame_builder.frame_slot(); }
        void sync_lock_keys() override { rt_.keys.sync_lock_keys(rt_.platform.lock_key_toggles()); }

    private:
        Runtime& rt_;
    };
    FramePass frame_pass_{*this};

    StringDescriptor* read_current_directory();
    StringDescriptor* variable_from(const std::string& text);
};

// The process entry point of a translated program; never returns while the
// run goes on (the frame thread ends the process).
int runtime_main(int argc, char** argv, ProgramMain program);

}  // namespace quendrel
