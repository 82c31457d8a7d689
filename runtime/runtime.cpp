#include "runtime/runtime.h"

#include <cstring>

#include "runtime/kernel/startup.h"

extern char** environ;

namespace quendrel {

Runtime::Runtime(Platform& p) : platform(p) {
    traps.set_soft_key_redraw(&text);
    text.set_soft_key_texts(&traps);
    threads.set_frame_work(&frame_pass_);
    clock.set_frame_source(&frame_builder);
    keys.set_window(&window);
}

StringDescriptor* Runtime::variable_from(const std::string& text) {
    StringDescriptor* s = strings.string_new(0, false);
    StringDescriptor* t = strings.string_new(uint32_t(text.size()), true);
    std::memcpy(t->text, text.data(), text.size());
    return strings.string_assign(s, t);
}

StringDescriptor* Runtime::read_current_directory() {
    std::string dir;
    if (!platform.current_directory(dir)) {
        errors.raise_error(51);
        return variable_from("");
    }
    return variable_from(dir);
}

void Runtime::start_up(int count, const char* const* values) {
    // No frame is held yet.
    frame_ring.reset();

    // Object lists, and the first mouse queue.
    mouse_queues = std::make_unique<ObjectList>(boxes, 32, false);
    file_handles = std::make_unique<ObjectList>(boxes, 16, false);
    lists_40a = std::make_unique<ObjectList>(boxes, 40, false);
    lists_40b = std::make_unique<ObjectList>(boxes, 40, false);
    lists_112 = std::make_unique<ObjectList>(boxes, 112, false);
    hardware_images = std::make_unique<ObjectList>(boxes, 80, true);
    mouse_queues->list_add();
    first_mouse_ring.assign(65536u * 12u, 0);
    mouse_ring = std::make_unique<MouseRing>(first_mouse_ring.data());
    window_input = std::make_unique<WindowInput>(run, *mouse_ring);
    window_input->set_key_events(&keys);
    presenter = std::make_unique<Presenter>(frame_ring, display_order, window, run, boxes,
                                            *hardware_images, hardware_commands);
    presenter->invalidate_gl_cache();
    glut_window = std::make_unique<GlutWindow>(run, platform, boxes, window, *window_input, *presenter);

    // Timer 0 exists but is switched off.
    timers.timer(0).allocated = true;
    timers.timer(0).on = false;

    environment_count = 1;  // the terminating empty slot counts
    for (char** e = environ; e && *e; ++e) ++environment_count;

    keyboard_port_latch = 0x81;

    memory.zero();
    strings.reset_segment();
    strings.create_permanent_strings();

    start_directory = read_current_directory();
    std::string folder = program_directory_of(platform.executable_path());
    if (!folder.empty()) platform.change_directory(folder);
    program_directory = read_current_directory();

    command_line = variable_from(join_command_line(count, values));
    argc = count;
    argv = values;

    take_time_base(platform, run);

    // Lock and modifier keys as the system has them; the key buffer empty.
    keys.start_up(platform.lock_key_states());

    // Fonts, palettes and metrics before the first image; then the text screen.
    tables.init_display_tables();
    screen.start_up();

    // The shutdown closes every file the program left open.
    threads.set_close_files([this] { files.close_all(); });

    input_devices = {
        {"Keyboard", "[KEYBOARD][BUTTON]", 2, 512, 0, 0},
        {"Mouse", "[MOUSE][BUTTON][AXIS][WHEEL]", 3, 3, 2, 3},
    };
}

void Runtime::start_threads(ProgramMain program) {
    threads.start([this, program] { program(*this); });
}

}  // namespace quendrel
