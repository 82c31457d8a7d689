#include "runtime/display/presentation_math.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace quendrel {

Presentation compute_presentation_rect(int32_t fw, int32_t fh, int32_t ww, int32_t wh,
                                       int32_t full_screen_state, int32_t stretch_mode,
                                       bool full_screen_smooth) {
    Presentation p;
    const bool full_screen = full_screen_state != 0;
    const bool stretching = full_screen || stretch_mode == 1 || stretch_mode == 2;
    const bool keep_aspect = full_screen_state == 2;
    p.smooth = full_screen ? full_screen_smooth : stretch_mode == 2;
    if (fw <= 0 || fh <= 0 || ww <= 0 || wh <= 0) {
        p.rect = {0, 0, fw - 1, fh - 1};
        return p;
    }
    if (fw == ww && fh == wh) {
        p.rect = {0, 0, fw - 1, fh - 1};
        p.smooth = false;
        return p;
    }
    const float aw = float(ww) / float(wh), af = float(fw) / float(fh);
    if (!stretching) {
        p.rect = {0, 0, fw - 1, fh - 1};
    } else if (keep_aspect && aw != af) {
        if (aw > af) {
            int32_t w = int32_t(float(wh) * af);
            int32_t x0 = ww / 2 - w / 2;
            p.rect = {x0, 0, x0 + w - 1, wh - 1};
            p.letterbox_kind = 1;
        } else {
            int32_t h = int32_t(float(ww) / af);
            int32_t y0 = wh / 2 - h / 2;
            p.rect = {0, y0, ww - 1, y0 + h - 1};
            p.letterbox_kind = 2;
        }
    } else {
        p.rect = {0, 0, ww - 1, wh - 1};
    }
    p.scale_x = float(p.rect.x2 - p.rect.x1 + 1) / float(fw);
    p.scale_y = float(p.rect.y2 - p.rect.y1 + 1) / float(fh);
    return p;
}

PixelRect map_frame_rect(const Presentation& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    PixelRect r;
    // nearbyint rounds ties to even in the default rounding mode.
    r.x1 = int32_t(std::nearbyint(float(x1) * p.scale_x)) + p.rect.x1;
    r.y1 = int32_t(std::nearbyint(float(y1) * p.scale_y)) + p.rect.y1;
    int32_t width = int32_t(float(std::abs(x2 - x1) + 1) * p.scale_x + 0.99f);
    int32_t height = int32_t(float(std::abs(y2 - y1) + 1) * p.scale_y + 0.99f);
    r.x2 = r.x1 + width - 1;
    r.y2 = r.y1 + height - 1;
    return r;
}

int letterbox_bars(const Presentation& p, int32_t ww, int32_t wh, PixelRect (&bars)[2]) {
    // The bars cover exactly the margins, so they never overlap the picture.
    if (p.letterbox_kind == 1) {
        bars[0] = {0, 0, p.rect.x1 - 1, wh - 1};
        bars[1] = {p.rect.x2 + 1, 0, ww - 1, wh - 1};
    } else if (p.letterbox_kind == 2) {
        bars[0] = {0, 0, ww - 1, p.rect.y1 - 1};
        bars[1] = {0, p.rect.y2 + 1, ww - 1, wh - 1};
    } else {
        return 0;
    }
    return 2;
}

void order_image_rect(PixelRect& d, PixelRect& s) {
    if (d.x2 < d.x1) {
        std::swap(d.x1, d.x2);
        std::swap(s.x1, s.x2);
    }
    if (d.y2 < d.y1) {
        std::swap(d.y1, d.y2);
        std::swap(s.y1, s.y2);
    }
}

ImageQuad image_rect_quad(PixelRect d, PixelRect s, int32_t tw, int32_t th) {
    // The texel edges are kept just inside the source pixels so that
    // nearest sampling never picks a neighbour.
    auto edges = [](int32_t first, int32_t second, int32_t size, float& a, float& b) {
        const bool forward = first <= second;
        a = (float(first) + (forward ? 0.01f : 0.99f)) / float(size);
        b = (float(second) + (forward ? 0.99f : 0.01f)) / float(size);
    };
    float s1, s2, t1, t2;
    edges(s.x1, s.x2, tw, s1, s2);
    edges(s.y1, s.y2, th, t1, t2);
    const float x1 = float(d.x1), x2 = float(d.x2 + 1), y1 = float(d.y1), y2 = float(d.y2 + 1);
    ImageQuad q = {{x1, y1, x2, y1, x1, y2, x2, y1, x2, y2, x1, y2},
                   {s1, t1, s2, t1, s1, t2, s2, t1, s2, t2, s1, t2}};
    return q;
}

int refresh_timer_interval(double refresh_rate) {
    int i = int(1000.0 / refresh_rate) - kRefreshSleepMs;
    return i <= 0 ? 1 : i;
}

int32_t next_power_of_two(int32_t n) {
    int32_t p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}

const uint32_t* pad_to_power_of_two(int32_t w, int32_t h, const uint32_t* pixels,
                                    std::vector<uint32_t>& scratch, int32_t& tw, int32_t& th) {
    tw = next_power_of_two(w);
    th = next_power_of_two(h);
    if (tw == w && th == h) return pixels;
    const size_t need = size_t(tw) * size_t(th);
    if (scratch.size() < need) scratch.resize(need);
    uint32_t* out = scratch.data();
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(out + size_t(y) * size_t(tw), pixels + size_t(y) * size_t(w), size_t(w) * 4);
        if (tw > w)
            out[size_t(y) * size_t(tw) + size_t(w)] = pixels[size_t(y) * size_t(w) + size_t(w) - 1];
    }
    if (th > h) {
        const size_t row = size_t(std::min(tw, w + 1));
        std::memcpy(out + size_t(h) * size_t(tw), out + size_t(h - 1) * size_t(tw), row * 4);
    }
    return out;
}

}  // namespace quendrel
