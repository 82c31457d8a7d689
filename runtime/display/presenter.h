// Shows frames in the window with OpenGL, as FreeGLUT's display callback.
//
// A redisplay takes the newest Ready frame (or keeps the Shown one), and
// draws only when something is new: a frame, a build attempt, a
// full-screen request or a reshape. The frame becomes a texture once per
// new frame, drawn at the place and scale the window policy and the
// presentation rules give, followed by the hardware-image layers and the
// letterbox bars; then the buffers are swapped unless the run is paused.
//
// OpenGL state changes go through a small cache, and textured triangles
// are batched until a state change or the end of a layer draws them.
// Everything here runs on the main thread with the window's context.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/display/display_order.h"
#include "runtime/display/display_state.h"
#include "runtime/display/frame_ring.h"
#include "runtime/display/hardware_images.h"
#include "runtime/display/presentation_math.h"
#include "runtime/display/window_state.h"
#include "runtime/kernel/messages.h"
#include "runtime/kernel/object_list.h"
#include "runtime/kernel/run_state.h"

namespace quendrel {

class Presenter {
public:
    Presenter(FrameRing& ring, DisplayOrder& order, WindowState& window, RunState& run,
              MessageBoxes& boxes, ObjectList& images, HardwareCommandList& commands)
        : ring_(ring),
          order_(order),
          window_(window),
          run_(run),
          boxes_(boxes),
          images_(images),
          commands_(commands) {}

    // Forgets every cached OpenGL setting (start-up; a new context).
    void invalidate_gl_cache();
    // After a reshape: viewport and projection are set again at the next draw.
    void reset_gl_mode() { gl_mode_ = 0; }
    void set_framebuffer_objects(bool available) { fbo_available_ = available; }

    void display_callback(WindowHost& host);

    int64_t create_hardware_image(int32_t width, int32_t height, const uint32_t* pixels,
                                  uint32_t flags);
    void free_hardware_img(int64_t handle);
    void upload_deferred_texture(int64_t handle);
    // Destination rectangle in frame pixels for the window (destination 0
    // or below), in image pixels otherwise.
    void draw_image_rect(PixelRect target, int64_t image, int32_t destination, PixelRect source,
                         bool blend, bool smooth);
    void flush_quads();

    const Presentation& presentation() const { return presentation_; }
    int32_t shown_frame_width() const { return shown_frame_width_; }
    int32_t shown_frame_height() const { return shown_frame_height_; }
    int64_t presented_frame_serial() const { return presented_frame_serial_; }
    int64_t software_screen_hardware_frame() const { return software_frame_image_; }
    HardwareImage* hardware_image(int64_t handle) const {
        return static_cast<HardwareImage*>(images_.list_get(handle));
    }

    // Test hook: each new picture swapped in goes to path.N (format: runtime_main).
    void dump_shown_frames_to(std::string path) { dump_path_ = std::move(path); }

    // Test hook: act as if the driver refused the unpadded upload (1), or
    // the padded one too (2), so every upload path can be exercised.
    void refuse_uploads_for_testing(int level) { refused_uploads_ = level; }

private:
    void upload(HardwareImage& image, const uint32_t* pixels);
    void select_destination(int32_t destination);
    void set_gl_mode(int mode);
    void bind_texture(HardwareImage& image);
    void set_filters(HardwareImage& image, bool smooth);
    void set_wrap_clamp(HardwareImage& image);
    void set_blend(bool on);
    void set_depth_test(bool on);
    void set_culling(bool on);
    void queue_triangles(const float* positions, size_t position_count, const float* texcoords,
                         size_t texcoord_count);
    bool ensure_render_target(HardwareImage& image);
    void draw_letterbox();
    void run_commands(int layer_position, bool first_layer);
    void execute(const HardwareCommand& c, bool to_window, bool to_images);
    void dump_shown_frame(const SoftwareFrame& frame);
    bool update_in_place(int64_t handle, const SoftwareFrame& frame);

    FrameRing& ring_;
    DisplayOrder& order_;
    WindowState& window_;
    RunState& run_;
    MessageBoxes& boxes_;
    ObjectList& images_;
    HardwareCommandList& commands_;

    bool presenting_ = false;
    bool fbo_available_ = false;
    int refused_uploads_ = 0;
    Presentation presentation_;
    int32_t shown_frame_width_ = 0, shown_frame_height_ = 0;
    int64_t presented_frame_serial_ = 0;
    bool commands_drawn_ = false;  // the last redraw ran hardware-image commands
    int64_t software_frame_image_ = 0;
    int64_t bar_image_ = 0;

    std::string dump_path_;
    int64_t dumped_serial_ = 0;
    int dump_count_ = 0;

    // OpenGL state cache; -1 unknown.
    int gl_mode_ = 0;
    int32_t destination_ = -1;
    int64_t bound_texture_ = -1;
    int blend_ = -1, depth_test_ = -1, culling_ = -1;

    std::vector<float> positions_, texcoords_;
    std::vector<uint32_t> pad_scratch_;
};

}  // namespace quendrel
