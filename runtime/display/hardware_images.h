// Images held as OpenGL textures, and the list of drawing commands a
// program queues for them.
//
// Both live in locked ObjectLists: the program thread adds records, the
// presenter on the main thread looks them up without a lock. Textures are
// only ever created and drawn on the main thread; the program thread makes
// images with a deferred upload, whose pixels wait in the record.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/kernel/object_list.h"

namespace quendrel {

enum : uint32_t {
    kImageDeferred = 1u << 0,    // no texture yet: keep the pixels
    kImageCopyPixels = 1u << 1,  // keep a copy, not the caller's buffer
};

struct HardwareImage {
    int32_t width, height;
    uint32_t texture;  // 0 while the upload is deferred
    uint32_t framebuffer, depth_texture;
    const uint32_t* pending_pixels;
    uint8_t pending_owned;
    int32_t statement_words[3];  // 0, 1, 1 at creation
    int32_t texture_mode;        // 0 own size, 1 padded to powers of two, 2 mipmapped
    int32_t texture_width, texture_height;
    int32_t min_filter, mag_filter, wrap;  // -1 until set on the texture
};
static_assert(sizeof(HardwareImage) <= 80, "hardware-image records are 80 bytes");

enum : int32_t {
    kCommandImageRect = 1,
    kCommandFreeImage = 3,
    kCommandTriangle2d = 4,
    kCommandTriangle3d = 5,
    kCommandClearDepth = 6,
};

struct HardwareCommand {
    int64_t serial;             // next_frame_serial when it was queued
    std::atomic<int64_t> next;  // the command queued after it, 0 none yet
    int32_t kind;
    int64_t image;
    int32_t destination;  // 0 window, -1 second hardware layer, > 0 an image
    // Rectangles use x1, y1, x2, y2; triangles three points (2 or 3 values).
    float source[6];
    float target[9];
    uint8_t blend, smooth;
    std::atomic<int32_t> executed;
};

// Commands in queuing order, linked by handle.
class HardwareCommandList {
public:
    explicit HardwareCommandList(MessageBoxes& boxes)
        : records_(boxes, sizeof(HardwareCommand), true) {}

    // Program thread. Returns the command's handle, 0 when it could not be stored.
    int64_t queue(int64_t serial, int32_t kind, int64_t image, int32_t destination,
                  const float (&source)[6], const float (&target)[9], bool blend, bool smooth);
    // Program thread: frees executed commands from the front, keeping the
    // one the presenter executed last (it continues from there).
    void remove_executed();

    HardwareCommand* get(int64_t handle) const {
        return static_cast<HardwareCommand*>(records_.list_get(handle));
    }
    int64_t first() const { return first_.load(std::memory_order_acquire); }

    // The presenter's place: the last command it executed.
    std::atomic<int64_t> last_executed{0};

private:
    ObjectList records_;
    std::atomic<int64_t> first_{0};
    int64_t last_ = 0;  // program thread only
};

}  // namespace quendrel
