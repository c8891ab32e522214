// Frame-rate benchmark of the dot sink under a real GL context (Xvfb with
// Mesa llvmpipe). Renders the start-up scene and the heavy scene of
// bench/heavy.scene with the batched GL sink and with a per-dot
// glBegin/glEnd sink, and prints dots per frame, GL draw calls per frame
// and frames per second side by side.
//   vantiro_render_bench bench/heavy.scene [seconds per run]
//   vantiro_render_bench --check bench/heavy.scene
//   vantiro_render_bench --outputs bench/heavy.scene   (no display needed)
//   vantiro_render_bench --save bench/full.scene DIR   (scene files, no display)
// The frame figures also time frames while a text is dragged and typed
// into and the first frame after a zoom, with the layer (cached), and
// without it, batched and per dot; a third scene file adds the full sign.
// With --check it renders each scene once with either sink and fails when
// the two pictures differ in any pixel (a GUI test runs this). With
// --outputs it times, without a window, the export of the scene to a
// folder, the card model running the exported cmd.txt, and the editor's
// picture of the scene as LEDs.
#include "render_bench.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/outputs.h"
#include "card/card_model.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "render/gl_sink.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/edit_steps.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "app/scene_files/scene_files.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--outputs") return outputs(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--save") return save(argv[2], argv[3]);
    const bool check = argc > 1 && std::string(argv[1]) == "--check";
    if (argc < 2 + check) {
        std::fprintf(stderr, "usage: %s [--check] SCENE [SECONDS]\n", argv[0]);
        return 2;
    }
    const char* scene_file = argv[1 + check];
    double seconds = argc > 2 + check ? std::atof(argv[2 + check]) : 3.0;
    const char* full_file = argc > 3 + check ? argv[3 + check] : nullptr;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "bench: no X display; nothing to draw on\n");
        return check ? 77 : 1;   // 77: the check is skipped, not failed
    }
    set_layer_use(bench_frame, Layer_use::always);   // the "cached" sink keeps its layer whatever the scene
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA);
    glutInitWindowSize(1200, 801);
    glutCreateWindow("vantiro-bench");
    glClearColor(0, 0, 0, 1);
    // The data (font files) lies in build/bin beside the editor.
    std::string err;
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err)) return 1;
    std::string editor = std::string(exe);
    editor = editor.substr(0, editor.rfind('/')) + "/../bin/vantiro";
    if (!startup_paths_and_config(editor.c_str(), &bench_paths, &bench_config, bench_dot_fonts, bench_ui.status, &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    if (!startup_open_face(bench_font, nullptr, 0, &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    build_layout(bench_scene);
    bench_scene.mouse_x = 600;   // the readout is part of every frame
    bench_scene.mouse_y = 500;
    if (check) {
        long differ = compare("start-up");
        if (!load_scene(scene_file)) return 1;
        differ += compare("heavy");
        differ += compare_edits();
        set_dot_pitch(bench_scene, 3);   // odd point sizes
        differ += compare("pitch 3");
        return differ ? 1 : 0;
    }
    const int frames = std::max(10, static_cast<int>(seconds * 40));
    report("start-up", seconds);
    report_edits("start-up", frames, 20);
    Scene& startup = *new Scene;   // kept for the full sign
    std::memcpy(static_cast<void*>(&startup), static_cast<const void*>(&bench_scene), sizeof bench_scene);
    if (!load_scene(scene_file)) return 1;
    report("heavy", seconds);
    report_edits("heavy", frames, 10);
    if (full_file) {
        std::memcpy(static_cast<void*>(&bench_scene), static_cast<const void*>(&startup), sizeof bench_scene);
        if (!load_scene(full_file)) return 1;
        report("full", seconds);
        report_edits("full", frames, 5);
    }
    return 0;
}
