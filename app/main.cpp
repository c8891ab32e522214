// The GLUT shell: start-up in its fixed order, the window and its GL state,
// the callbacks, and the main loop. Everything that needs no window lives
// in vantiro_core.
#include <GL/freeglut.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "app/autosave.h"
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
#include "ui/edit_steps.h"
#include "ui/keyboard.h"
#include "ui/mouse.h"
#include "ui/ui_state.h"

namespace {

const char window_title[] = "vantiro";


[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "vantiro: %s\n", message.c_str());
    std::exit(1);
}

// What main owns and the callbacks work on: the scene, the input's state
// (grabs, window, undo history), the configuration and the program's
// paths, the text files, the card link, the frame's cache and signal, the
// recovery copy's writer and the window's limits. GLUT's callbacks carry
// no pointer of their own, so they reach it through `shell`, set once at
// the start of main: the one pointer to the shell's state kept at
// namespace scope.
struct Shell {
    Scene* scene = nullptr;
    Ui_state* ui = nullptr;
    Config* config = nullptr;
    Program_paths* paths = nullptr;
    Text_files* texts = nullptr;
    Card_link* link = nullptr;
    Frame_cache* frame = nullptr;
    Frame_signal* signal = nullptr;
    Screen* screen = nullptr;       // the GL sink and the outline font, once the window is made
    Autosave* autosave = nullptr;   // null until it is started
    // The largest client area the editor draws: the screen's size, and at
    // least the start-up size. A larger back buffer than the window system
    // can show costs memory and time for nothing, and one of 32767 pixels a
    // side ends the program inside the buffer swap. Set at start-up.
    int max_client_w = client_start_w, max_client_h = client_start_h;
    // The window is larger than that and its reduction is asked for: no
    // frame is drawn until it lands.
    bool oversize = false;
};
Shell* shell = nullptr;

void present_frame() {
    glutSwapBuffers();
    frame_signal_presented(*shell->signal, *shell->link, platform_window_sync);
}


// × (after its save succeeded) and Ctrl+S (the operator's discard) end
// here: the recovery copy goes, and its writer is joined first.
void quit(int status) {
    if (shell && shell->autosave) shell->autosave->discard();
    std::exit(status);
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Callbacks: each change to what the frame shows asks for the next frame.
void reshape_cb(int w, int h) {
    if (w > shell->max_client_w || h > shell->max_client_h) {
        shell->oversize = true;
        glutReshapeWindow(std::min(w, shell->max_client_w), std::min(h, shell->max_client_h));
        return;
    }
    shell->oversize = false;
    reshape_view(*shell->frame, shell->screen->sink, *shell->scene, w, h);
}
void motion_cb(int x, int y) {
    on_motion(*shell->ui, *shell->scene, x, y);
    note_change(*shell->frame);
}
void passive_motion_cb(int x, int y) {
    on_passive_motion(*shell->ui, *shell->scene, x, y);
    note_change(*shell->frame);
}
void key_cb(unsigned char key, int x, int y) {
    on_key(*shell->ui, *shell->scene, key, x, y);
    note_change(*shell->frame);
}
void special_key_cb(int key, int x, int y) {
    if (frame_signal_marker(*shell->signal, *shell->frame, key)) return;
    on_special_key(*shell->ui, *shell->scene, key, x, y);
    note_change(*shell->frame);
}
void mouse_cb(int button, int state, int x, int y) {
    on_mouse(*shell->ui, *shell->scene, button, state, x, y);
    note_change(*shell->frame);
}

// Idle pass: redraw the whole scene when something changed, otherwise sleep
// until something happens, so an idle editor uses no processor time.
void idle_pass() {
    Scene& scene = *shell->scene;
    Ui_state& ui = *shell->ui;
    Frame_cache& frame = *shell->frame;
    if (show_live_status(*shell->link, ui.status)) note_change(frame);   // what the sender thread has said
    if (finish_sync_from_card(*shell->link, *shell->paths, ui.status, scene, ui.history))
        note_change(frame);   // the card's scene, once read
    // The recovery copy, when an edit is at least its interval old.
    const int64_t autosave_due = shell->autosave->tick(scene, ui.history.changes(), now_ms());
    const std::string failed = shell->autosave->take_failure();
    if (!failed.empty()) {
        std::fprintf(stderr, "%s\n", failed.c_str());
        ui.status.set_failure(failed.c_str());
        note_change(frame);
    }
    // With nothing to draw the pass sleeps until input, a thread's news
    // (they wake it: platform_wake_main) or a pending recovery copy's time.
    if (frame_pending(frame) && !shell->oversize)
        draw_display(frame, *shell->screen, scene, ui, *shell->texts);
    else
        platform_wait_input(autosave_due < 0 ? -1 : static_cast<int>(std::min<int64_t>(autosave_due, 60000)));
}

// One editor a scene folder: a lock held for as long as this one runs.
// A second editor on the folder refuses to start (it would save over the
// first one's work, and recover its copy as a crash's).
void lock_scene_folder(const std::string& folder, Platform_lock* lock) {
    std::string err;
    switch (platform_lock_file((folder + "editor.lock").c_str(), true, true, 0, lock, &err)) {
        case Lock_outcome::locked: return;
        case Lock_outcome::busy:
            fail("another vantiro has the scene folder " + (folder.empty() ? std::string(".") : folder) +
                 " open; close it first (or start this one with --dir on another folder)");
        default: fail("scene: " + err);
    }
}

// A recovery copy beside the scene files means the last session ended
// without × or Ctrl+S: its scene comes back, one Ctrl+Z from the saved one.
void recover_scene(Ui_state& ui, Scene& scene, const std::string& path) {
    std::unique_ptr<Scene> copy(new (std::nothrow) Scene);
    if (!copy) return;
    int64_t written_at = 0;
    std::string why;
    switch (read_recovery(path, copy.get(), &written_at, &why)) {
        case Recovery::none: return;
        case Recovery::recovered: {
            // The window's own values stay this session's.
            copy->view_width = scene.view_width, copy->view_height = scene.view_height;
            copy->mouse_x = scene.mouse_x, copy->mouse_y = scene.mouse_y;
            copy->toolbar_menu[7].x = scene.toolbar_menu[7].x;
            scene = *copy;
            record_input_edit(ui, scene);
            char when[16] = "?";
            const time_t t = static_cast<time_t>(written_at);
            tm local{};
            if (localtime_r(&t, &local)) std::strftime(when, sizeof when, "%H:%M", &local);
            const std::string said = std::string("recovered the edits of a session that ended at ") + when +
                                     " without saving (Ctrl+Z: the saved scene)";
            std::fprintf(stderr, "vantiro: %s\n", said.c_str());
            ui.status.set_status(said.c_str());
            return;
        }
        case Recovery::other_build:
        case Recovery::damaged: {
            // Kept, never lost: renamed aside where the next copy cannot replace it.
            const std::string aside = path + ".bad-" + std::to_string(static_cast<long long>(std::time(nullptr)));
            std::string err;
            const bool kept = platform_rename_new(path.c_str(), aside.c_str(), &err) == New_file::written;
            const std::string said = "autosave: scene.recovery not used (" + why + "); " +
                                     (kept ? "kept as " + aside : "it stays, and the next copy replaces it");
            std::fprintf(stderr, "vantiro: %s\n", said.c_str());
            ui.status.set_failure(said.c_str());
            return;
        }
    }
}

}  // namespace

static void display_cb() {
    if (!shell->oversize) draw_display(*shell->frame, *shell->screen, *shell->scene, *shell->ui, *shell->texts);
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
    static Ui_state ui;   // the undo history's table beside it
    static Config config;          // SysCfg.ini, read at start-up
    static Program_paths paths;    // where the files are
    static Text_files texts;       // my_txt3.txt and my_txt4.txt as read last
    static Card_link link;         // the card's handles; its threads joined when it goes
    static Frame_cache frame;      // what one frame leaves for the next
    static Frame_signal signal;    // the test runs' frame file
    static Shell the_shell;
    the_shell.scene = &scene;
    the_shell.ui = &ui;
    the_shell.config = &config;
    the_shell.paths = &paths;
    the_shell.texts = &texts;
    the_shell.link = &link;
    the_shell.frame = &frame;
    the_shell.signal = &signal;
    shell = &the_shell;
    std::string err;

    // The outline font's face and its glyph cache (about 1.8 MB).
    static Outline_font font;
    if (!font_library_start(font, &err)) fail(err);
    // The bitmap fonts of the dot texts, read at their first use.
    static Bitmap_fonts dot_fonts;

    char exe_path[4096];
    if (!platform_executable_path(exe_path, sizeof exe_path, &err)) fail(err);
    if (!startup_paths_and_config(exe_path, &paths, &config, dot_fonts, ui.status, &err, dir.empty() ? nullptr : dir.c_str(),
                                  Given_folder::make))
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
    the_shell.max_client_w = std::max(client_start_w, glutGet(GLUT_SCREEN_WIDTH));
    the_shell.max_client_h = std::max(client_start_h, glutGet(GLUT_SCREEN_HEIGHT));
    static Gl_sink gl_sink(present_frame);
    static Screen screen{gl_sink, font, dot_fonts};
    the_shell.screen = &screen;
    Window_ops& ops = ui.window.ops;
    ops.position = glutPositionWindow;
    ops.reshape = glutReshapeWindow;
    ops.set_cursor = glutSetCursor;
    ops.pointer = platform_pointer_position;
    ops.quit = quit;
    ops.modifiers = glutGetModifiers;

    if (!platform_make_frameless(window_title, &err))
        std::fprintf(stderr, "vantiro: %s; the window keeps its frame\n", err.c_str());

    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0.5f);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);

    if (!startup_open_face(font, nullptr, 0, &err)) fail(err);

    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The editor's requests, with the window's clipboard for Ctrl+V.
    struct Window_requests final : Editor_requests {
        using Editor_requests::Editor_requests;
        std::string clipboard_text(Status_line& status) override {
            std::string text, err;
            if (!platform_clipboard_text(&text, &err)) status.set_failure(("paste: " + err).c_str());
            return text;
        }
    };
    static Window_requests window_requests(config, paths, texts, link, dot_fonts);
    static Platform_lock folder_lock;   // held until the program ends
    std::string scene_dir(paths.data.scene_conf);
    scene_dir.resize(scene_dir.size() - std::strlen("scene.conf"));
    lock_scene_folder(scene_dir, &folder_lock);
    startup_scene(scene, config, paths, texts, ui.status, &ui, &window_requests);
    recover_scene(ui, scene, scene_dir + "scene.recovery");
    static Autosave autosave;
    the_shell.autosave = &autosave;
    if (!autosave.start(scene_dir + "scene.recovery", ui.history.changes(), &err)) {
        std::fprintf(stderr, "vantiro: %s\n", err.c_str());
        ui.status.set_failure(err.c_str());
    }

    // VANTIRO_LAYER=always or never overrides when frames keep their lower
    // part in a layer (tests drive the layer on scenes too light to need it).
    std::string layer;
    if (platform_environment("VANTIRO_LAYER", &layer))
        set_layer_use(frame, layer == "always" ? Layer_use::always : layer == "never" ? Layer_use::never
                                                                               : Layer_use::when_it_pays);

    glutReshapeWindow(client_start_w, client_start_h);
    ui.window.w = client_start_w + window_frame_w;
    scene.toolbar_menu[7].x = ui.window.close_entry_x();
    ui.window.h = client_start_h + window_frame_h;
    glutReshapeWindow(client_start_w, client_start_h);
    glutPositionWindow(ui.window.x, ui.window.y);

    glutDisplayFunc(display_cb);
    glutReshapeFunc(reshape_cb);
    glutKeyboardFunc(key_cb);
    glutSpecialFunc(special_key_cb);
    glutMouseFunc(mouse_cb);
    glutPassiveMotionFunc(passive_motion_cb);
    glutMotionFunc(motion_cb);

    // With sync on, the card's stored scene is read off the main thread
    // while the window draws and takes input; the idle pass applies it.
    if (config.sync_enabled) start_sync_from_card(link, config, ui.status, scene);

    // GLUT's loop, one pass at a time: before GLUT reads the queue, the
    // Ctrl shortcuts of a non-Latin layout are taken out of it (GLUT would
    // drop them) and given as the keys of the first layout.
    for (;;) {
        while (const int ctrl = platform_take_ctrl_letter()) {
            on_key(ui, scene, static_cast<unsigned char>(ctrl), scene.mouse_x, scene.mouse_y);
            note_change(frame);
        }
        glutMainLoopEvent();
        idle_pass();
    }
}
