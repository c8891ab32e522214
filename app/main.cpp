// The GLUT shell: start-up in its fixed order, the window and its GL state,
// the callbacks, and the main loop. Everything that needs no window lives
// in vantiro_core.
#include <GL/freeglut.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/config.h"
#include "app/frame.h"
#include "app/frame_signal.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "render/gl_sink.h"
#include "render/outline_font.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "ui/keyboard.h"
#include "ui/mouse.h"
#include "ui/window_ops.h"
#include "ui/window_state.h"

namespace {

const char window_title[] = "vantiro";

// Longest wait of an idle pass with nothing to redraw, in milliseconds.
// Input wakes the wait at once, so this bounds only the wake-ups per second.
constexpr int idle_wait_ms = 20;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "vantiro: %s\n", message.c_str());
    std::exit(1);
}

void present_frame() {
    glutSwapBuffers();
    frame_signal_presented(platform_window_sync);
}

Gl_sink gl_sink(present_frame);

void quit(int status) { std::exit(status); }

// The editor's scene, owned by main; the callbacks reach it here.
Scene* editor_scene = nullptr;

// The largest client area the editor draws: the screen's size, and at
// least the start-up size. A larger back buffer than the window system can
// show costs memory and time for nothing, and one of 32767 pixels a side
// ends the program inside the buffer swap. Set at start-up.
int max_client_w = client_start_w, max_client_h = client_start_h;

// The window is larger than that and its reduction is asked for: no frame
// is drawn until it lands.
bool oversize = false;

// Callbacks: each change to what the frame shows asks for the next frame.
void reshape_cb(int w, int h) {
    if (w > max_client_w || h > max_client_h) {
        oversize = true;
        glutReshapeWindow(std::min(w, max_client_w), std::min(h, max_client_h));
        return;
    }
    oversize = false;
    reshape_view(*editor_scene, w, h);
}
void motion_cb(int x, int y) {
    on_motion(*editor_scene, x, y);
    note_change();
}
void passive_motion_cb(int x, int y) {
    on_passive_motion(*editor_scene, x, y);
    note_change();
}
void key_cb(unsigned char key, int x, int y) {
    on_key(*editor_scene, key, x, y);
    note_change();
}
void special_key_cb(int key, int x, int y) {
    if (frame_signal_marker(key)) return;
    on_special_key(*editor_scene, key, x, y);
    note_change();
}
void mouse_cb(int button, int state, int x, int y) {
    on_mouse(*editor_scene, button, state, x, y);
    note_change();
}

// Idle pass: redraw the whole scene when something changed, otherwise sleep
// until input arrives, so an idle editor uses no processor time.
void idle_pass() {
    if (show_live_status()) note_change();   // what the sender thread has said
    if (finish_sync_from_card(*editor_scene)) note_change();   // the card's scene, once read
    if (frame_pending() && !oversize)
        draw_display(*editor_scene);
    else
        platform_wait_input(idle_wait_ms);
}

}  // namespace

static void display_cb() {
    if (!oversize) draw_display(*editor_scene);
}

int main(int argc, char** argv) {
    CLI::App app{"vantiro: a layout editor and simulator for LED signs driven by a networked controller card.\n"
                 "Run from a build tree it keeps SysCfg.ini and the scene files beside itself; installed, it\n"
                 "keeps SysCfg.ini in $XDG_CONFIG_HOME/vantiro (~/.config/vantiro) and the scene files and\n"
                 "spi_data.bin in $XDG_DATA_HOME/vantiro (~/.local/share/vantiro), made on first start."};
    app.set_version_flag("--version", "vantiro " VANTIRO_VERSION);
    std::string dir;
    app.add_option("--dir", dir,
                   "Keep SysCfg.ini, the scene files and spi_data.bin in DIR (made when missing, with the "
                   "default SysCfg.ini)")
        ->type_name("DIR");
    CLI11_PARSE(app, argc, argv);

    static Scene scene;   // about 800 KB: static storage, not the stack
    editor_scene = &scene;
    std::string err;

    if (!font_library_start(&err)) fail(err);

    char exe_path[4096];
    if (!platform_executable_path(exe_path, sizeof exe_path, &err)) fail(err);
    if (!startup_paths_and_config(exe_path, &err, dir.empty() ? nullptr : dir.c_str(), Given_folder::make))
        fail(err);

    // GLUT sees only the program name: the options above are the editor's.
    if (!platform_display_available(&err)) fail(err);
    int glut_argc = 1;
    char* glut_argv[] = {argv[0], nullptr};
    glutInit(&glut_argc, glut_argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA);
    glutInitWindowPosition(30, 30);
    glutInitWindowSize(1200, 800);
    glutCreateWindow(window_title);
    max_client_w = std::max(client_start_w, glutGet(GLUT_SCREEN_WIDTH));
    max_client_h = std::max(client_start_h, glutGet(GLUT_SCREEN_HEIGHT));
    set_dot_sink(&gl_sink);
    window_ops.position = glutPositionWindow;
    window_ops.reshape = glutReshapeWindow;
    window_ops.set_cursor = glutSetCursor;
    window_ops.pointer = platform_pointer_position;
    window_ops.quit = quit;
    window_ops.modifiers = glutGetModifiers;

    if (!platform_make_frameless(window_title, &err))
        std::fprintf(stderr, "vantiro: %s; the window keeps its frame\n", err.c_str());

    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0.5f);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);

    if (!startup_open_face(nullptr, 0, &err)) fail(err);

    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The editor's requests, with the window's clipboard for Ctrl+V.
    static struct Window_requests final : Editor_requests {
        std::string clipboard_text() override {
            std::string text, err;
            if (!platform_clipboard_text(&text, &err)) set_failure(("paste: " + err).c_str());
            return text;
        }
    } window_requests;
    startup_scene(scene, &window_requests);

    // VANTIRO_LAYER=always or never overrides when frames keep their lower
    // part in a layer (tests drive the layer on scenes too light to need it).
    std::string layer;
    if (platform_environment("VANTIRO_LAYER", &layer))
        set_layer_use(layer == "always" ? Layer_use::always : layer == "never" ? Layer_use::never
                                                                               : Layer_use::when_it_pays);

    glutReshapeWindow(client_start_w, client_start_h);
    window_w = client_start_w + window_frame_w;
    scene.toolbar_menu[7].x = close_entry_x();
    window_h = client_start_h + window_frame_h;
    glutReshapeWindow(client_start_w, client_start_h);
    glutPositionWindow(window_x, window_y);

    glutDisplayFunc(display_cb);
    glutReshapeFunc(reshape_cb);
    glutKeyboardFunc(key_cb);
    glutSpecialFunc(special_key_cb);
    glutMouseFunc(mouse_cb);
    glutPassiveMotionFunc(passive_motion_cb);
    glutMotionFunc(motion_cb);

    // With sync on, the card's stored scene is read off the main thread
    // while the window draws and takes input; the idle pass applies it.
    if (sync_enabled) start_sync_from_card(scene);

    // GLUT's loop, one pass at a time: before GLUT reads the queue, the
    // Ctrl shortcuts of a non-Latin layout are taken out of it (GLUT would
    // drop them) and given as the keys of the first layout.
    for (;;) {
        while (const int ctrl = platform_take_ctrl_letter()) {
            on_key(scene, static_cast<unsigned char>(ctrl), scene.mouse_x, scene.mouse_y);
            note_change();
        }
        glutMainLoopEvent();
        idle_pass();
    }
}
