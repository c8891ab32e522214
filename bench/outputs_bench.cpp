// Timings without a window: the export, the card model running it, the
// editor's picture as LEDs and undo; and the scene saved as editor files.
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

namespace {

// Milliseconds per call of f, best of a few runs.
template <class F>
double best_ms(F f) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int outputs(const char* scene_file) {
    std::string err;
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err)) return 1;
    std::string editor = std::string(exe);
    editor = editor.substr(0, editor.rfind('/')) + "/../bin/vantiro";
    if (!startup_paths_and_config(editor.c_str(), &bench_paths, &bench_config, bench_dot_fonts, bench_ui.status, &err)) return 1;
    build_layout(bench_scene);
    if (!load_scene(scene_file)) return 1;
    char dir[] = "/tmp/vantiro-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    Export_outcome o;
    const double export_ms = best_ms([&] { o = export_to_folder(bench_scene, dir, bench_paths.scene_folder, 0); });
    if (!o.written) {
        std::fprintf(stderr, "bench: %s\n", o.message.c_str());
        return 1;
    }
    std::vector<uint8_t> script;
    if (!platform_read_file((o.ledsys + "/CMD/cmd.txt").c_str(), 1u << 30, &script, &err)) return 1;
    int w, h;
    output_screen_size(bench_scene, &w, &h);
    Card_model card(bench_dot_fonts, w, h);
    const double play_ms = best_ms([&] {
        card.reset();
        card.run_script(script.data(), script.size());
    });
    Led_framebuffer screen(w, h);
    const double render_ms = best_ms([&] { render_scene_leds(bench_dot_fonts, bench_scene, bench_texts, screen); });
    std::printf("export %.1f ms (cmd.txt %zu bytes, %ld lines), play %.1f ms (%ld LEDs lit), render %.1f ms "
                "(%ld LEDs lit)\n",
                export_ms, script.size(), card.counts.run, play_ms, card.screen.lit_count(), render_ms,
                screen.lit_count());
    std::system((std::string("rm -rf ") + dir).c_str());

    // Undo: a zoom (every element on the sign moves), undone and redone.
    start_editor_history(bench_ui.history, bench_ui.status, bench_scene);
    on_key(bench_ui, bench_scene, 17, 0, 0);
    const size_t zoom_step = bench_ui.history.newest_step_bytes();
    const double undo_ms = best_ms([] {
        undo_edit(bench_ui, bench_scene);
        redo_edit(bench_ui, bench_scene);
    }) / 2;
    const double record_ms = best_ms([] {
        on_key(bench_ui, bench_scene, 17, 0, 0);   // the zoom and its step
        undo_edit(bench_ui, bench_scene);
    });
    std::printf("undo of a zoom %.2f ms (its step %zu bytes; a zoom with its step and its undo %.2f ms); history "
                "memory %zu bytes\n",
                undo_ms, zoom_step, record_ms, Edit_history::step_buffer_bytes + 2 * sizeof(Scene));
    return 0;
}

// Saves the benchmark scene as the editor's scene files in dir (whose
// SysCfg.ini is read first), for timing the editor's start on it.
int save(const char* scene_file, const char* dir) {
    std::string err;
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err)) return 1;
    std::string editor = std::string(exe);
    editor = editor.substr(0, editor.rfind('/')) + "/../bin/vantiro";
    if (!startup_paths_and_config(editor.c_str(), &bench_paths, &bench_config, bench_dot_fonts, bench_ui.status, &err, dir)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    build_layout(bench_scene);
    if (!load_scene(scene_file)) return 1;
    if (!save_scene_files(bench_scene, bench_paths.data, &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    return 0;
}

