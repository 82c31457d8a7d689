// The presenter with real OpenGL in a FreeGLUT window of this process:
// what reaches the back buffer, when it swaps, and every upload path.
// GLEW first: it replaces the system GL header.
#include <GL/glew.h>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "display/frame_fixture.h"
#include "runtime/display/font_select.h"
#include "runtime/display/presenter.h"
#include "window/demo_page.h"

namespace quendrel {
namespace {

// One window per process (FreeGLUT initialises once); every test brings
// its own presenter and window state and takes over the reshape callback.
bool open_gl_window() {
    static int window = [] {
        if (!std::getenv("DISPLAY")) return 0;
        int argc = 1;
        char name[] = "presenter_gl_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(640, 400);
        int id = glutCreateWindow("presenter test");
        glutDisplayFunc([] {});
        return glewInit() == GLEW_OK ? id : 0;
    }();
    return window != 0;
}

// Reads the back buffer at every swap, then swaps.
class RecordingHost : public WindowHost {
public:
    void reshape_window(int width, int height) override {
        reshapes.push_back({width, height});
        glutReshapeWindow(width, height);
    }
    void full_screen() override { ++full_screens; }
    void post_redisplay() override {}
    void swap_buffers() override {
        drawn.width = glutGet(GLUT_WINDOW_WIDTH);
        drawn.height = glutGet(GLUT_WINDOW_HEIGHT);
        drawn.pixels.assign(size_t(drawn.width) * size_t(drawn.height), 0);
        std::vector<uint32_t> rows(drawn.pixels.size());
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, drawn.width, drawn.height, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        for (int y = 0; y < drawn.height; ++y)
            for (int x = 0; x < drawn.width; ++x)
                drawn.pixels[size_t(y) * size_t(drawn.width) + size_t(x)] =
                    rows[size_t(drawn.height - 1 - y) * size_t(drawn.width) + size_t(x)] & 0xFFFFFF;
        ++swaps;
        glutSwapBuffers();
    }

    struct Size {
        int width, height;
    };
    std::vector<Size> reshapes;
    int full_screens = 0, swaps = 0;
    Picture drawn;
};

class X11PresenterTest : public FrameTest {
protected:
    void SetUp() override {
        if (!open_gl_window()) GTEST_SKIP() << "no OpenGL window";
        glutReshapeFuncUcall(
            [](int w, int h, void* self) {
                auto& t = *static_cast<X11PresenterTest*>(self);
                t.window.reshape(w, h);
                t.presenter.reset_gl_mode();
            },
            this);
        if (glutGet(GLUT_WINDOW_WIDTH) == 640 && glutGet(GLUT_WINDOW_HEIGHT) == 400) {
            window.reshape(640, 400);
        } else {
            glutReshapeWindow(640, 400);
            pump_until([&] { return !window.reshape_pending; });
        }
        presenter.set_framebuffer_objects(glewIsSupported("GL_EXT_framebuffer_object"));
        presenter.invalidate_gl_cache();
    }
    template <typename F>
    void pump_until(F done) {
        for (int i = 0; i < 400 && !done(); ++i) {
            glutMainLoopEvent();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // After a reshape the driver resizes its buffers at the next swap.
    void settle_after_reshape() {
        for (int i = 0; i < 2; ++i) {
            glutSwapBuffers();
            glFinish();
            glutMainLoopEvent();
        }
    }
    // The frame's colours as the window shows them.
    static std::vector<uint32_t> rgb(const Picture& p) {
        std::vector<uint32_t> out(p.pixels);
        for (uint32_t& v : out) v &= 0xFFFFFF;
        return out;
    }
    void present() { presenter.display_callback(host); }

    WindowState window{errors, display};
    ObjectList images{boxes, 80, true};
    HardwareCommandList commands{boxes};
    Presenter presenter{ring, order, window, run, boxes, images, commands};
    RecordingHost host;
};

TEST_F(X11PresenterTest, DrawsTheFrameOneToOne) {
    write_demo_page(page(0));
    ASSERT_TRUE(build());
    Picture frame = latest_picture();
    present();
    ASSERT_EQ(host.swaps, 1);
    ASSERT_EQ(host.drawn.width, 640);
    EXPECT_EQ(host.drawn.pixels, rgb(frame));
    HardwareImage* image = presenter.hardware_image(presenter.software_screen_hardware_frame());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->texture_mode, 0);
    EXPECT_TRUE(platform.boxes().empty());
}

TEST_F(X11PresenterTest, RedrawsOnlyWhenSomethingIsNew) {
    ASSERT_TRUE(build());
    present();
    present();
    EXPECT_EQ(host.swaps, 1) << "nothing new: no drawing, no swap";
    // An attempt that built nothing is new only when hardware-image
    // commands are queued (they are drawn at the build cadence).
    EXPECT_FALSE(build());
    present();
    EXPECT_EQ(host.swaps, 1) << "nothing queued: the same picture again";
    const uint32_t red[1] = {0xFFFF0000};
    int64_t image = presenter.create_hardware_image(1, 1, red, kImageDeferred | kImageCopyPixels);
    commands.queue(ring.next_frame_serial.load(), kCommandImageRect, image, 0, {0, 0, 0, 0, 0, 0},
                   {1, 1, 1, 1, 0, 0, 0, 0, 0}, false, false);
    EXPECT_FALSE(build());
    present();
    EXPECT_EQ(host.swaps, 2);
    window.force_redraw = true;
    present();
    EXPECT_EQ(host.swaps, 3);
    present();
    EXPECT_EQ(host.swaps, 3);
    // While paused the picture stays as it was swapped in.
    at(2, 2);
    print("paused", false);
    ASSERT_TRUE(build());
    run.user_pause.store(1);
    present();
    EXPECT_EQ(host.swaps, 3);
}

TEST_F(X11PresenterTest, NewFrameReplacesTheTexture) {
    ASSERT_TRUE(build());
    present();
    at(3, 3);
    print("next", false);
    ASSERT_TRUE(build());
    Picture second = latest_picture();
    present();
    EXPECT_EQ(host.drawn.pixels, rgb(second));
    EXPECT_EQ(images.count(), 1) << "one texture for the software screen";
    // A frame of another size gets a texture of its own size.
    FontSelector fonts(errors, tables, screen, display);
    fonts.select_font(8, 0, false);
    ASSERT_TRUE(build());
    Picture small = latest_picture();
    ASSERT_EQ(small.height, 200);
    present();
    EXPECT_EQ(images.count(), 1);
    int differ = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 640; ++x)
            differ += host.drawn.pixels[size_t(y) * 640 + size_t(x)] != (small.at(x, y) & 0xFFFFFF);
    EXPECT_EQ(differ, 0);
}

TEST_F(X11PresenterTest, PaddedUploadIsPixelExact) {
    presenter.refuse_uploads_for_testing(1);
    write_demo_page(page(0));
    ASSERT_TRUE(build());
    Picture frame = latest_picture();
    present();
    HardwareImage* image = presenter.hardware_image(presenter.software_screen_hardware_frame());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->texture_mode, 1);
    EXPECT_EQ(image->texture_width, 1024);
    EXPECT_EQ(image->texture_height, 512);
    EXPECT_EQ(host.drawn.pixels, rgb(frame));
}

TEST_F(X11PresenterTest, MipmapUploadIsTheLastResort) {
    presenter.refuse_uploads_for_testing(2);
    store_cell(page(0), 0, text_cell(' ', 0x70));
    ASSERT_TRUE(build());
    present();
    HardwareImage* image = presenter.hardware_image(presenter.software_screen_hardware_frame());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->texture_mode, 2);
    EXPECT_EQ(image->texture_width, 640);
    EXPECT_TRUE(platform.boxes().empty());
    // Resampled and filtered, but still grey in the grey cell and black far away.
    EXPECT_EQ(host.drawn.pixels[size_t(8) * 640 + 4], 0xAAAAAAu);
    EXPECT_EQ(host.drawn.pixels[size_t(300) * 640 + 300], 0u);
}

TEST_F(X11PresenterTest, KeepingTheAspectInAWiderWindowLeavesBlackBars) {
    glutReshapeWindow(1000, 400);
    pump_until([&] { return window.window_width == 1000; });
    ASSERT_EQ(window.window_width, 1000);
    settle_after_reshape();
    window.full_screen_state.store(2);  // as if full screen had been granted
    for (int i = 0; i < 2000; ++i) store_cell(page(0), uint32_t(i), text_cell(0xDB, 0x0F));
    ASSERT_TRUE(build());
    present();
    EXPECT_EQ(presenter.presentation().letterbox_kind, 1);
    EXPECT_EQ(presenter.presentation().rect, (PixelRect{180, 0, 819, 399}));
    ASSERT_EQ(host.drawn.width, 1000);
    for (int y = 0; y < 400; y += 7) {
        for (int x = 0; x < 1000; ++x) {
            bool inside = x >= 180 && x <= 819;
            ASSERT_EQ(host.drawn.pixels[size_t(y) * 1000 + size_t(x)], inside ? 0xFFFFFFu : 0u)
                << x << "," << y;
        }
    }
}

TEST_F(X11PresenterTest, HalfHeightFrameAsksForItsSizeAndIsDrawnUnscaledMeanwhile) {
    FontSelector fonts(errors, tables, screen, display);
    write_demo_page(page(0));
    fonts.select_font(8, 0, false);
    ASSERT_TRUE(build());
    Picture small = latest_picture();
    ASSERT_EQ(small.height, 200);
    present();
    ASSERT_EQ(host.reshapes.size(), 1u);
    EXPECT_EQ(host.reshapes[0].width, 640);
    EXPECT_EQ(host.reshapes[0].height, 200);
    ASSERT_EQ(host.drawn.height, 400);
    for (int y = 0; y < 400; y += 3)
        for (int x = 0; x < 640; x += 3)
            ASSERT_EQ(host.drawn.pixels[size_t(y) * 640 + size_t(x)],
                      y < 200 ? small.at(x, y) & 0xFFFFFF : 0u)
                << x << "," << y;
    pump_until([&] { return window.window_height == 200; });
    settle_after_reshape();
    present();
    EXPECT_EQ(host.drawn.height, 200);
    EXPECT_EQ(host.drawn.pixels, rgb(small));
}

TEST_F(X11PresenterTest, QueuedImageCommandsDrawInTheirLayer) {
    ASSERT_TRUE(build());
    present();
    // A 2 x 2 red image, drawn over frame pixels (10, 10)-(13, 13) with the
    // command of the next build serial.
    const uint32_t red[4] = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000};
    int64_t image = presenter.create_hardware_image(2, 2, red, kImageDeferred | kImageCopyPixels);
    ASSERT_NE(image, 0);
    commands.queue(ring.next_frame_serial.load(), kCommandImageRect, image, 0, {0, 0, 1, 1, 0, 0},
                   {10, 10, 13, 13, 0, 0, 0, 0, 0}, false, false);
    EXPECT_FALSE(build());  // the attempt makes the command current
    present();
    EXPECT_EQ(host.drawn.pixels[size_t(11) * 640 + 11], 0xFF0000u);
    EXPECT_EQ(host.drawn.pixels[size_t(14) * 640 + 14], 0u);
    EXPECT_EQ(commands.get(commands.first())->executed.load(), 1);
    // Once its frame is gone the command is not drawn again.
    EXPECT_FALSE(build());
    present();
    EXPECT_EQ(host.drawn.pixels[size_t(11) * 640 + 11], 0u);
}

}  // namespace
}  // namespace quendrel
