// Frame timings: frames a second with the batched and the per-dot sink, and
// frames while a text is dragged, typed into and zoomed, cached or not.
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

// What the frame is drawn onto: sink, with the benchmark's outline font.
Screen screen_of(Gl_sink& sink) { return Screen{sink, bench_font, bench_dot_fonts}; }

struct Result {
    double fps;
    long dots, calls;
    double build_ms, finish_ms;   // per frame: draw_display's own time, then the GL's
};

Result run(Gl_sink& sink, double seconds) {
    reshape_view(bench_frame, sink, bench_scene, 1200, 801);
    draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);   // warm-up: glyph textures, repositioning
    glFinish();
    int frames = 0;
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    double elapsed = 0, build = 0, finish = 0;
    while (elapsed < seconds || frames < 5) {
        auto t0 = clock::now();
        draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);
        auto t1 = clock::now();
        glFinish();
        auto t2 = clock::now();
        build += std::chrono::duration<double>(t1 - t0).count();
        finish += std::chrono::duration<double>(t2 - t1).count();
        ++frames;
        elapsed = std::chrono::duration<double>(t2 - start).count();
    }
    return {frames / elapsed, sink.last_frame_dots(), sink.last_frame_draw_calls(),
            1000 * build / frames, 1000 * finish / frames};
}

}  // namespace

void report(const char* name, double seconds) {
    // Whole frames, as every frame was drawn before the layer.
    Gl_sink batched(swap, true), per_dot(swap, false);
    batched.set_layer_enabled(false);
    per_dot.set_layer_enabled(false);
    Result b = run(batched, seconds);
    Result p = run(per_dot, seconds);
    std::printf("%-8s dots/frame %8ld | batched: %4ld draw calls, %7.1f frames/s | per-dot: "
                "%8ld draw calls, %7.1f frames/s | speed-up %.1fx\n",
                name, b.dots, b.calls, b.fps, p.calls, p.fps, b.fps / p.fps);
    std::printf("%-8s ms/frame in draw_display then in glFinish | batched: %.2f + %.2f | "
                "per-dot: %.2f + %.2f\n",
                name, b.build_ms, b.finish_ms, p.build_ms, p.finish_ms);
}

struct Spread {
    double min, median, max;
};

Spread spread(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

// Milliseconds of each of n frames, from the input that changes the scene
// (change(k) before frame k) to the frame drawn and finished by the GL,
// with sink; the scene and the input state are put back afterwards.
template <class Change>
std::vector<double> timed_frames(Gl_sink& sink, int n, Change change) {
    static Scene saved;
    std::memcpy(static_cast<void*>(&saved), static_cast<const void*>(&bench_scene), sizeof bench_scene);
    reshape_view(bench_frame, sink, bench_scene, 1200, 801);
    draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);   // the layer (if any) as the editor has it before the edit
    glFinish();
    std::vector<double> ms;
    using clock = std::chrono::steady_clock;
    for (int k = 0; k < n; ++k) {
        const auto t0 = clock::now();
        change(k);
        draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);
        glFinish();
        ms.push_back(std::chrono::duration<double, std::milli>(clock::now() - t0).count());
    }
    std::memcpy(static_cast<void*>(&bench_scene), static_cast<const void*>(&saved), sizeof bench_scene);
    reset_ui_state(bench_ui);
    return ms;
}

void print_spread(const char* scene_name, const char* what, const char* sink_name, const Spread& s) {
    std::printf("%-8s %-7s %-8s min %7.2f  median %7.2f  max %7.2f ms\n", scene_name, what, sink_name, s.min, s.median,
                s.max);
}

// What an operator feels: frames while a text is dragged across the scene
// and while it is typed into, and the first frame after a zoom (which
// redraws the whole layer), cached against whole batched frames and
// per-dot frames in the same run.
void report_edits(const char* name, int frames, int per_dot_frames) {
    place_moving_text();
    for (int what = 0; what < 3; ++what) {
        const char* label = what == 0 ? "drag" : what == 1 ? "typing" : "zoom";
        auto change = [what](int k) {
            if (what == 0) {
                if (k == 0) grab_moving_text();
                drag_step(k);
            } else if (what == 1) {
                on_key(bench_ui, bench_scene, static_cast<uint8_t>('a' + k % 26), 0, 0);
            } else {
                on_key(bench_ui, bench_scene, k % 2 ? 1 : 17, 0, 0);   // Ctrl+Q, Ctrl+A
            }
        };
        Gl_sink cached(swap, true), batched(swap, true), per_dot(swap, false);
        batched.set_layer_enabled(false);
        per_dot.set_layer_enabled(false);
        const Spread c = spread(timed_frames(cached, what == 2 ? 10 : frames, change));
        const Spread b = spread(timed_frames(batched, what == 2 ? 10 : frames, change));
        const Spread p = spread(timed_frames(per_dot, per_dot_frames, change));
        print_spread(name, label, "cached", c);
        print_spread(name, label, "batched", b);
        print_spread(name, label, "per-dot", p);
        std::printf("%-8s %-7s median per-dot / cached %.1fx, batched / cached %.1fx\n", name, label,
                    p.median / c.median, b.median / c.median);
    }
    std::fflush(stdout);
}

