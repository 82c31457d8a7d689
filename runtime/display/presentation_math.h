// The presenter's arithmetic, apart from OpenGL: where a frame lands in the
// window, how frame rectangles map to window pixels, the texture
// coordinates of an image rectangle, power-of-two padding and the refresh
// timer's interval.
#pragma once

#include <cstdint>
#include <vector>

namespace quendrel {

struct PixelRect {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive
    bool operator==(const PixelRect&) const = default;
};

struct Presentation {
    PixelRect rect;  // presentation_rect: x0, y0, x1, y1 in window pixels
    float scale_x = 1, scale_y = 1;
    bool smooth = false;
    int letterbox_kind = 0;  // 0 none, 1 bars left and right, 2 top and bottom
};

// full_screen_state 0 windowed, 1 stretched, 2 keeping the aspect.
Presentation compute_presentation_rect(int32_t frame_width, int32_t frame_height,
                                       int32_t window_width, int32_t window_height,
                                       int32_t full_screen_state, int32_t stretch_mode,
                                       bool full_screen_smooth);

// A rectangle in frame pixels to the window pixels it covers.
PixelRect map_frame_rect(const Presentation& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// The window margins a letterboxed frame leaves: zero, or two rectangles.
int letterbox_bars(const Presentation& p, int32_t window_width, int32_t window_height,
                   PixelRect (&bars)[2]);

// Two triangles over the destination rectangle (inclusive bounds, already
// in window pixels) textured with the source rectangle; a destination given
// right to left or bottom to top mirrors the picture.
struct ImageQuad {
    float positions[12];  // x, y of six vertices
    float texcoords[12];  // s, t of the same
};
ImageQuad image_rect_quad(PixelRect destination, PixelRect source, int32_t texture_width,
                          int32_t texture_height);
// The exchange of a mirrored destination's bounds, with the source's.
void order_image_rect(PixelRect& destination, PixelRect& source);

// Milliseconds until the refresh timer fires again, given the 4 ms it sleeps.
constexpr int kRefreshSleepMs = 4;
int refresh_timer_interval(double refresh_rate);

int32_t next_power_of_two(int32_t n);
// The pixels to upload at power-of-two size: `pixels` itself when both
// sides already are, else a padded copy in `scratch` (only ever grown)
// whose extra column and row repeat the image's last ones.
const uint32_t* pad_to_power_of_two(int32_t width, int32_t height, const uint32_t* pixels,
                                    std::vector<uint32_t>& scratch, int32_t& texture_width,
                                    int32_t& texture_height);

}  // namespace quendrel
