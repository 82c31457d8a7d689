#include "runtime/display/presenter.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace quendrel {

namespace {

// Growth of the batched geometry, in floats.
void reserve_for(std::vector<float>& v, size_t more, size_t step) {
    if (v.size() + more > v.capacity())
        v.reserve(std::max(v.size() + more, 2 * v.capacity() + step));
}

}  // namespace

void Presenter::invalidate_gl_cache() {
    gl_mode_ = 0;
    destination_ = -1;
    bound_texture_ = -1;
    blend_ = depth_test_ = culling_ = -1;
}

// ---- the redraw ------------------------------------------------------------

void Presenter::display_callback(WindowHost& host) {
    // A message box shown from in here may let a nested redisplay through.
    if (presenting_) return;
    presenting_ = true;
    const FrameRing::Promotion promoted = ring_.promote_newest();
    const int next = promoted.next;
    if (next < 0) {
        presenting_ = false;
        return;
    }
    const bool new_frame = next != promoted.shown;
    const int64_t latest = ring_.latest_frame_serial.load();
    const bool nothing_asked = window_.full_screen_request.load() == -1 && !window_.force_redraw;
    // A build attempt that was discarded is new only for hardware-image
    // commands; with none queued and none drawn last time the picture would
    // come out the same, and redrawing it 30 times a second costs a
    // software renderer a good part of a core.
    if (!new_frame && nothing_asked && presented_frame_serial_ != latest &&
        commands_.first() == 0 && !commands_drawn_)
        presented_frame_serial_ = latest;
    if (presented_frame_serial_ == latest && !new_frame && nothing_asked) {
        presenting_ = false;
        return;
    }
    commands_drawn_ = false;
    const SoftwareFrame& frame = ring_.frame(next);
    const int32_t fw = frame.width, fh = frame.height;
    shown_frame_width_ = fw;
    shown_frame_height_ = fh;
    window_.force_redraw = false;
    window_.apply_window_policy(host, fw, fh);
    presentation_ = compute_presentation_rect(
        fw, fh, window_.window_width, window_.window_height, window_.full_screen_state.load(),
        window_.stretch_mode.load(), window_.full_screen_smooth.load() != 0);

    const int software = order_.software_layer_position.load();
    const int hardware = order_.hardware_layer_position.load();
    const int hardware1 = order_.hardware_layer1_position.load();
    bool first_hardware_layer = true;
    for (int p = 0; p <= 5; ++p) {
        if (p == 0) {
            select_destination(0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        if (p != 0 && p == software) {
            bool current = software_frame_image_ && !new_frame;
            if (software_frame_image_ && new_frame) {
                current = update_in_place(software_frame_image_, frame);
                if (!current) {
                    free_hardware_img(software_frame_image_);
                    software_frame_image_ = 0;
                }
            }
            if (!current)
                software_frame_image_ = create_hardware_image(fw, fh, frame.pixels.get(), 0);
            HardwareImage* image = hardware_image(software_frame_image_);
            if (!software_frame_image_) {
                boxes_.alert_box("Invalid software_screen_hardware_frame!!");
            } else if (!image) {
                boxes_.alert_box("Invalid software_screen_hardware_frame!");
            } else {
                draw_image_rect({0, 0, fw - 1, fh - 1}, software_frame_image_, 0,
                                {0, 0, image->width - 1, image->height - 1}, p > 1,
                                presentation_.smooth);
                flush_quads();
            }
        }
        if (p != 0 && (p == hardware || p == hardware1)) {
            run_commands(p, first_hardware_layer);
            first_hardware_layer = false;
            flush_quads();
        }
        if (p == 5 && presentation_.letterbox_kind != 0) draw_letterbox();
    }
    presented_frame_serial_ = latest;
    // While paused the window keeps showing the last picture swapped in.
    if (!(run_.user_pause.load() & 1)) {
        host.swap_buffers();
        if (!dump_path_.empty()) dump_shown_frame(frame);
    }
    presenting_ = false;
}

void Presenter::dump_shown_frame(const SoftwareFrame& frame) {
    // The builder never writes a Shown frame, and only this thread frees it.
    const int64_t serial = frame.serial();
    if (serial == dumped_serial_) return;
    dumped_serial_ = serial;
    const std::string path = dump_path_ + "." + std::to_string(++dump_count_);
    const std::string temporary = path + ".tmp";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return;
    const int32_t size[2] = {frame.width, frame.height};
    bool ok = std::fwrite(size, sizeof size, 1, out) == 1;
    const size_t count = size_t(frame.width) * size_t(frame.height);
    ok = ok && std::fwrite(frame.pixels.get(), 4, count, out) == count;
    ok = std::fclose(out) == 0 && ok;
    if (ok) std::rename(temporary.c_str(), path.c_str());
}

void Presenter::draw_letterbox() {
    if (!bar_image_) {
        static const uint32_t kClearBlack = 0x00000000;
        bar_image_ = create_hardware_image(1, 1, &kClearBlack, 0);
    }
    if (!hardware_image(bar_image_)) return;
    PixelRect bars[2];
    int n = letterbox_bars(presentation_, window_.window_width, window_.window_height, bars);
    for (int i = 0; i < n; ++i) {
        if (bars[i].x2 < bars[i].x1 || bars[i].y2 < bars[i].y1) continue;
        // Margins are window pixels: drawn into the window's own coordinates.
        select_destination(0);
        set_gl_mode(1);
        HardwareImage& bar = *hardware_image(bar_image_);
        bind_texture(bar);
        set_filters(bar, false);
        set_blend(false);
        set_depth_test(false);
        set_culling(false);
        set_wrap_clamp(bar);
        ImageQuad q = image_rect_quad(bars[i], {0, 0, 0, 0}, bar.texture_width, bar.texture_height);
        queue_triangles(q.positions, 12, q.texcoords, 12);
    }
    flush_quads();
}

// ---- hardware images -------------------------------------------------------

int64_t Presenter::create_hardware_image(int32_t width, int32_t height, const uint32_t* pixels,
                                         uint32_t flags) {
    int64_t handle = images_.list_add();
    if (!handle) return 0;
    auto* image = new (images_.list_get(handle)) HardwareImage{};
    image->width = width;
    image->height = height;
    image->statement_words[1] = image->statement_words[2] = 1;
    image->texture_width = width;
    image->texture_height = height;
    image->min_filter = image->mag_filter = image->wrap = -1;
    if (flags & kImageDeferred) {
        if (flags & kImageCopyPixels) {
            const size_t count = size_t(width) * size_t(height);
            auto* copy = new (std::nothrow) uint32_t[count];
            if (copy) std::memcpy(copy, pixels, count * 4);
            image->pending_pixels = copy;
            image->pending_owned = 1;
        } else {
            image->pending_pixels = pixels;
        }
        return handle;
    }
    flush_quads();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    image->texture = texture;
    glBindTexture(GL_TEXTURE_2D, texture);
    upload(*image, pixels);
    bound_texture_ = -1;
    return handle;
}

bool Presenter::update_in_place(int64_t handle, const SoftwareFrame& frame) {
    // A frame of the same size replaces the texture's texels: no new
    // texture to allocate 30 times a second while the reader redraws.
    HardwareImage* image = hardware_image(handle);
    if (!image || !image->texture || image->texture_mode != 0 || image->width != frame.width ||
        image->height != frame.height)
        return false;
    flush_quads();
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_2D, image->texture);
    bound_texture_ = -1;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, GL_BGRA, GL_UNSIGNED_BYTE,
                    frame.pixels.get());
    return glGetError() == GL_NO_ERROR;
}

void Presenter::upload(HardwareImage& image, const uint32_t* pixels) {
    while (glGetError() != GL_NO_ERROR) {
    }
    image.texture_mode = 0;
    image.texture_width = image.width;
    image.texture_height = image.height;
    bool done = false;
    if (refused_uploads_ < 1) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, pixels);
        done = glGetError() == GL_NO_ERROR;
    }
    if (!done) {
        int32_t tw = 0, th = 0;
        const uint32_t* padded =
            pad_to_power_of_two(image.width, image.height, pixels, pad_scratch_, tw, th);
        image.texture_mode = 1;
        image.texture_width = tw;
        image.texture_height = th;
        if (refused_uploads_ < 2) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_BGRA, GL_UNSIGNED_BYTE, padded);
            done = glGetError() == GL_NO_ERROR;
        }
    }
    if (!done) {
        image.texture_mode = 2;
        image.texture_width = image.width;
        image.texture_height = image.height;
        GLint result = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, image.width, image.height, GL_BGRA,
                                         GL_UNSIGNED_BYTE, pixels);
        GLenum error = result != 0 ? GLenum(result) : glGetError();
        if (error != GL_NO_ERROR) {
            boxes_.alert_box("gluBuild2DMipmaps failed");
            boxes_.alert_number(int64_t(error));
        }
    }
    // A new image has no filter or wrap set on it yet.
    image.min_filter = image.mag_filter = image.wrap = -1;
}

void Presenter::upload_deferred_texture(int64_t handle) {
    HardwareImage* image = hardware_image(handle);
    if (!image || image->texture) return;
    flush_quads();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    image->texture = texture;
    glBindTexture(GL_TEXTURE_2D, texture);
    bound_texture_ = texture;
    if (image->pending_pixels) upload(*image, image->pending_pixels);
    if (image->pending_owned) delete[] image->pending_pixels;
    image->pending_pixels = nullptr;
    image->pending_owned = 0;
}

void Presenter::free_hardware_img(int64_t handle) {
    HardwareImage* image = hardware_image(handle);
    if (!image) {
        boxes_.alert_box("free_hardware_img: image does not exist");
        return;
    }
    flush_quads();
    if (image->framebuffer && fbo_available_) {
        GLuint fb = image->framebuffer;
        glDeleteFramebuffersEXT(1, &fb);
    }
    if (image->depth_texture) {
        GLuint depth = image->depth_texture;
        glDeleteTextures(1, &depth);
    }
    if (image->texture) {
        GLuint texture = image->texture;
        glDeleteTextures(1, &texture);
        if (bound_texture_ == int64_t(texture)) bound_texture_ = -1;
    }
    if (int64_t(handle) == destination_) destination_ = -1;
    if (image->pending_owned) delete[] image->pending_pixels;
    images_.list_remove(handle);
}

// ---- drawing ---------------------------------------------------------------

void Presenter::draw_image_rect(PixelRect target, int64_t handle, int32_t destination,
                                PixelRect source, bool blend, bool smooth) {
    HardwareImage* image = hardware_image(handle);
    if (!image) return;
    order_image_rect(target, source);
    if (destination < 0) destination = 0;
    select_destination(destination);
    set_gl_mode(1);
    if (destination == 0)
        target = map_frame_rect(presentation_, target.x1, target.y1, target.x2, target.y2);
    bind_texture(*image);
    set_filters(*image, smooth);
    set_blend(blend);
    set_depth_test(false);
    set_culling(false);
    set_wrap_clamp(*image);
    ImageQuad q = image_rect_quad(target, source, image->texture_width, image->texture_height);
    queue_triangles(q.positions, 12, q.texcoords, 12);
}

void Presenter::queue_triangles(const float* positions, size_t position_count,
                                const float* texcoords, size_t texcoord_count) {
    reserve_for(positions_, position_count, 18);
    reserve_for(texcoords_, texcoord_count, 12);
    positions_.insert(positions_.end(), positions, positions + position_count);
    texcoords_.insert(texcoords_.end(), texcoords, texcoords + texcoord_count);
}

void Presenter::flush_quads() {
    if (texcoords_.empty()) return;
    const GLint per_vertex = positions_.size() == texcoords_.size() ? 2 : 3;
    glVertexPointer(per_vertex, GL_FLOAT, 0, positions_.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texcoords_.data());
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(texcoords_.size() / 2));
    positions_.clear();
    texcoords_.clear();
}

// ---- the state cache -------------------------------------------------------

void Presenter::select_destination(int32_t destination) {
    if (destination == destination_) return;
    flush_quads();
    if (destination > 0) {
        HardwareImage* image = hardware_image(destination);
        if (!image || !ensure_render_target(*image)) return;
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, image->framebuffer);
    } else if (fbo_available_) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    destination_ = destination;
    gl_mode_ = 0;  // projection and viewport belong to the destination
}

bool Presenter::ensure_render_target(HardwareImage& image) {
    if (!fbo_available_) return false;
    if (image.framebuffer) return true;
    if (!image.texture) upload_deferred_texture(images_.list_handle_of(&image));
    GLuint fb = 0, depth = 0;
    glGenFramebuffersEXT(1, &fb);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              image.texture, 0);
    glGenTextures(1, &depth);
    glBindTexture(GL_TEXTURE_2D, depth);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, image.texture_width, image.texture_height, 0,
                 GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depth, 0);
    bound_texture_ = -1;
    image.framebuffer = fb;
    image.depth_texture = depth;
    return true;
}

void Presenter::set_gl_mode(int mode) {
    if (mode == gl_mode_) return;
    flush_quads();
    int previous = gl_mode_;
    int width = window_.window_width, height = window_.window_height;
    HardwareImage* target = destination_ > 0 ? hardware_image(destination_) : nullptr;
    if (target) {
        width = target->texture_width;
        height = target->texture_height;
    }
    if (mode == 1) {
        if (previous != 2) {
            glColor4f(1, 1, 1, 1);
            glDisable(GL_COLOR_MATERIAL);
            glDisable(GL_LIGHTING);
            set_blend(true);
            glEnable(GL_TEXTURE_2D);
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glCullFace(GL_BACK);
            set_culling(true);
        }
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (target) {
            gluOrtho2D(0, width, 0, height);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        } else {
            // (0, 0) is the top-left pixel and y grows downwards.
            glOrtho(0, width, 0, height, -1, 1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glScalef(1, -1, 1);
            glTranslatef(0, float(-height), 0);
        }
        glViewport(0, 0, width, height);
    } else if (mode == 2) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90.0, double(width) / double(std::max(height, 1)), 0.1, 10000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glViewport(0, 0, width, height);
    }
    gl_mode_ = mode;
}

void Presenter::bind_texture(HardwareImage& image) {
    if (!image.texture) upload_deferred_texture(images_.list_handle_of(&image));
    if (int64_t(image.texture) == bound_texture_) return;
    flush_quads();
    glBindTexture(GL_TEXTURE_2D, image.texture);
    bound_texture_ = image.texture;
    // Without framebuffer objects the driver may forget per-texture state.
    if (!fbo_available_) image.min_filter = image.mag_filter = image.wrap = -1;
}

void Presenter::set_filters(HardwareImage& image, bool smooth) {
    const GLint filter = smooth || image.texture_mode == 2 ? GL_LINEAR : GL_NEAREST;
    if (image.min_filter == filter && image.mag_filter == filter) return;
    flush_quads();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    image.min_filter = image.mag_filter = filter;
}

void Presenter::set_wrap_clamp(HardwareImage& image) {
    if (image.wrap == GL_CLAMP_TO_EDGE) return;
    flush_quads();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    image.wrap = GL_CLAMP_TO_EDGE;
}

void Presenter::set_blend(bool on) {
    if (blend_ == int(on)) return;
    flush_quads();
    if (on) {
        glEnable(GL_BLEND);
        if (fbo_available_ && glBlendFuncSeparateEXT)
            glBlendFuncSeparateEXT(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE);
        else
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
    }
    blend_ = on;
}

void Presenter::set_depth_test(bool on) {
    if (depth_test_ == int(on)) return;
    flush_quads();
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    depth_test_ = on;
}

void Presenter::set_culling(bool on) {
    if (culling_ == int(on)) return;
    flush_quads();
    if (on)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    culling_ = on;
}

// ---- hardware-image commands -----------------------------------------------

void Presenter::run_commands(int layer_position, bool first_layer) {
    const int64_t latest = ring_.latest_frame_serial.load();
    const int32_t layer_destination =
        layer_position == order_.hardware_layer_position.load() ? 0 : -1;
    int64_t last = commands_.last_executed.load();
    if (last && !commands_.get(last)) {
        boxes_.alert_box("Rendering: Last HGC is NULL!");
        commands_.last_executed.store(last = 0);
    }
    auto next_of = [&](int64_t handle) -> int64_t {
        if (!handle) return commands_.first();
        HardwareCommand* c = commands_.get(handle);
        return c ? c->next.load(std::memory_order_acquire) : 0;
    };
    auto missing = [&](int64_t handle) {
        HardwareCommand* oldest = commands_.get(commands_.first());
        boxes_.alert_number(latest);
        boxes_.alert_number(oldest ? oldest->serial : 0);
        boxes_.alert_number(handle);
        boxes_.alert_box("Renderer: Command does not exist.");
    };
    int64_t h = next_of(last);
    if (first_layer) {
        // Commands of frames already gone: only their effects on images count.
        for (; h; h = next_of(h)) {
            HardwareCommand* c = commands_.get(h);
            if (!c) {
                missing(h);
                return;
            }
            if (c->serial >= latest) break;
            commands_drawn_ = true;
            if (c->kind == kCommandFreeImage)
                free_hardware_img(c->image);
            else if (c->destination > 0)
                execute(*c, false, true);
            c->executed.store(1, std::memory_order_release);
            commands_.last_executed.store(last = h);
        }
    }
    const bool last_layer = layer_position == std::max(order_.hardware_layer_position.load(),
                                                       order_.hardware_layer1_position.load());
    for (; h; h = next_of(h)) {
        HardwareCommand* c = commands_.get(h);
        if (!c) {
            missing(h);
            return;
        }
        if (c->serial != latest) break;
        commands_drawn_ = true;
        if (c->kind != kCommandFreeImage)
            execute(*c, c->destination == layer_destination, first_layer && c->destination > 0);
        if (last_layer) {
            c->executed.store(1, std::memory_order_release);
            commands_.last_executed.store(h);
        }
    }
}

void Presenter::execute(const HardwareCommand& c, bool to_window, bool to_images) {
    if (!to_window && !to_images) return;
    HardwareImage* image = hardware_image(c.image);
    const int32_t destination = to_window ? 0 : c.destination;
    auto at = [](float v) { return int32_t(v); };
    switch (c.kind) {
        case kCommandImageRect:
            draw_image_rect({at(c.target[0]), at(c.target[1]), at(c.target[2]), at(c.target[3])},
                            c.image, destination,
                            {at(c.source[0]), at(c.source[1]), at(c.source[2]), at(c.source[3])},
                            c.blend, c.smooth);
            break;
        case kCommandTriangle2d:
        case kCommandTriangle3d: {
            if (!image) return;
            const bool three_d = c.kind == kCommandTriangle3d;
            select_destination(destination);
            set_gl_mode(three_d ? 2 : 1);
            bind_texture(*image);
            set_filters(*image, c.smooth);
            set_blend(c.blend);
            set_depth_test(three_d);
            set_culling(false);
            set_wrap_clamp(*image);
            float positions[9], texcoords[6];
            const int per_vertex = three_d ? 3 : 2;
            for (int v = 0; v < 3; ++v) {
                for (int k = 0; k < per_vertex; ++k)
                    positions[v * per_vertex + k] = c.target[v * per_vertex + k];
                texcoords[v * 2] = (c.source[v * 2] + 0.5f) / float(image->texture_width);
                texcoords[v * 2 + 1] = (c.source[v * 2 + 1] + 0.5f) / float(image->texture_height);
            }
            queue_triangles(positions, size_t(3 * per_vertex), texcoords, 6);
            break;
        }
        case kCommandClearDepth:
            select_destination(destination);
            flush_quads();
            glClear(GL_DEPTH_BUFFER_BIT);
            break;
        default:
            break;
    }
}

}  // namespace quendrel
