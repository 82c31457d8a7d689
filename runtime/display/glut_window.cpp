#include "runtime/display/glut_window.h"

// GLEW first: it replaces the system GL header.
#include <GL/glew.h>

#include <GL/freeglut.h>
#include <GL/glx.h>

#include <memory>

namespace quendrel {

namespace {

GlutWindow& self(void* user) { return *static_cast<GlutWindow*>(user); }

int modifiers() {
    const int glut = glutGetModifiers();
    int m = 0;
    if (glut & GLUT_ACTIVE_SHIFT) m |= kModShift;
    if (glut & GLUT_ACTIVE_CTRL) m |= kModCtrl;
    if (glut & GLUT_ACTIVE_ALT) m |= kModAlt;
    return m;
}

}  // namespace

void GlutWindow::run(int argc, char** argv) {
    if (!open(argc, argv)) platform_.exit_process(1);
    register_callbacks();
    glutMainLoop();
    // Not reached: the frame thread ends the process.
    for (;;) platform_.sleep_ms(100);
}

bool GlutWindow::open(int& argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 400);
    if (glutGet(GLUT_DISPLAY_MODE_POSSIBLE) == 0) return false;
    std::unique_ptr<char[]> title = state_.take_title();
    window_ = glutCreateWindow(title ? title.get() : "Untitled");
    run_.window_created.store(1);

    GLenum status = glewInit();
    if (status != GLEW_OK)
        boxes_.alert_box(reinterpret_cast<const char*>(glewGetErrorString(status)));
    framebuffer_objects_ = status == GLEW_OK && glewIsSupported("GL_EXT_framebuffer_object");
    presenter_.set_framebuffer_objects(framebuffer_objects_);
    presenter_.invalidate_gl_cache();

    hook_.install(glXGetCurrentDisplay(), *this);
    return true;
}

void GlutWindow::register_callbacks() {
    glutDisplayFuncUcall([](void* u) { self(u).presenter_.display_callback(self(u)); }, this);
    glutTimerFuncUcall(
        8, [](int, void* u) { self(u).refresh_timer_callback(); }, 0, this);
    glutKeyboardFuncUcall(
        [](unsigned char c, int, int, void* u) { self(u).input_.key(c, true, modifiers()); }, this);
    glutKeyboardUpFuncUcall(
        [](unsigned char c, int, int, void* u) { self(u).input_.key(c, false, modifiers()); },
        this);
    glutSpecialFuncUcall(
        [](int k, int, int, void* u) { self(u).input_.special_key(k, true, modifiers()); }, this);
    glutSpecialUpFuncUcall(
        [](int k, int, int, void* u) { self(u).input_.special_key(k, false, modifiers()); }, this);
    glutMouseFuncUcall([](int button, int state, int x, int y,
                          void* u) { self(u).input_.mouse_button(button, state, x, y); },
                       this);
    glutMotionFuncUcall([](int x, int y, void* u) { self(u).input_.mouse_motion(x, y); }, this);
    glutPassiveMotionFuncUcall([](int x, int y, void* u) { self(u).input_.mouse_motion(x, y); },
                               this);
    glutReshapeFuncUcall(
        [](int w, int h, void* u) {
            self(u).state_.reshape(w, h);
            self(u).presenter_.reset_gl_mode();
        },
        this);
    glutMouseWheelFuncUcall([](int wheel, int direction, int x, int y,
                               void* u) { self(u).input_.mouse_wheel(wheel, direction, x, y); },
                            this);
}

void GlutWindow::refresh_timer_callback() {
    drain_raw_keys();
    apply_title();
    glutPostRedisplay();
    // The classic callback sleeps 4 ms before re-arming; waiting those 4 ms
    // in the timer instead keeps the same cadence with one wake-up instead
    // of two, and leaves the main loop free for input meanwhile.
    int interval = refresh_timer_interval(state_.refresh_rate()) + kRefreshSleepMs;
    glutTimerFuncUcall(
        unsigned(interval), [](int, void* u) { self(u).refresh_timer_callback(); }, 0, this);
}

void GlutWindow::drain_raw_keys() {
    hook_.drain_keys([this](const RawKey& k) { input_.raw_key(k.keysym, k.state, k.pressed); });
}

void GlutWindow::apply_title() {
    // The program thread only leaves the text; the window library is ours.
    if (std::unique_ptr<char[]> title = state_.take_title()) glutSetWindowTitle(title.get());
}

void GlutWindow::reshape_window(int width, int height) { glutReshapeWindow(width, height); }
void GlutWindow::full_screen() { glutFullScreen(); }
void GlutWindow::post_redisplay() { glutPostRedisplay(); }
void GlutWindow::swap_buffers() { glutSwapBuffers(); }

}  // namespace quendrel
