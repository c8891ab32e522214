// The pictures compared: batched, cached and per-dot frames of the same
// scene must agree in every pixel (a GUI test runs this).
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

std::vector<unsigned char> read_pixels() {
    glFinish();
    std::vector<unsigned char> pixels(1200 * 801 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1200, 801, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Renders one frame with sink and reads the window's pixels back.
std::vector<unsigned char> picture(Gl_sink& sink) {
    reshape_view(bench_frame, sink, bench_scene, 1200, 801);
    draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);
    draw_display(bench_frame, screen_of(sink), bench_scene, bench_ui, bench_texts);
    return read_pixels();
}

// Pixels that differ between two pictures; the first few are named.
long differing(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, long* lit) {
    long differ = 0;
    *lit = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        const bool d = a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        if (d && differ < 5) {
            const size_t px = i / 3;
            std::printf("  differs at (%zu, %zu): %d,%d,%d against %d,%d,%d\n", px % 1200, 800 - px / 1200, a[i],
                        a[i + 1], a[i + 2], b[i], b[i + 1], b[i + 2]);
        }
        differ += d;
        *lit += b[i] || b[i + 1] || b[i + 2];
    }
    return differ;
}

}  // namespace

// Number of pixels that differ between the batched and the per-dot picture,
// and between the cached picture (the layer drawn once, then shown) and
// the per-dot one.
long compare(const char* name) {
    // No swap: the picture is read from the back buffer.
    Gl_sink batched(nullptr, true), per_dot(nullptr, false), cached(nullptr, true);
    batched.set_layer_enabled(false);
    per_dot.set_layer_enabled(false);
    const std::vector<unsigned char> p = picture(per_dot);
    long lit;
    long differ = differing(picture(batched), p, &lit);
    std::printf("%-8s %ld of %zu pixels differ between batched and per-dot (%ld lit)\n", name, differ, p.size() / 3,
                lit);
    const long cached_differ = differing(picture(cached), p, &lit);
    std::printf("%-8s %ld of %zu pixels differ between cached and per-dot\n", name, cached_differ, p.size() / 3);
    return differ + cached_differ;
}

// At pitch 2, 3 and 4: a text dragged over the scene for a few frames, then
// dropped, and typed into; after each, the cached picture (drawn frame
// after frame into the layer) against the per-dot picture of the same
// scene drawn at once.
long compare_edits() {
    static Scene start;
    std::memcpy(static_cast<void*>(&start), static_cast<const void*>(&bench_scene), sizeof bench_scene);
    long differ = 0;
    for (int pitch = 2; pitch <= 4; ++pitch) {
        std::memcpy(static_cast<void*>(&bench_scene), static_cast<const void*>(&start), sizeof bench_scene);
        set_dot_pitch(bench_scene, pitch);
        lay_out_boards(bench_scene);
        settle_positions_on_sign(bench_scene);
        place_moving_text();
        Gl_sink cached(nullptr, true), per_dot(nullptr, false), batched(nullptr, true);
        per_dot.set_layer_enabled(false);
        batched.set_layer_enabled(false);
        reshape_view(bench_frame, cached, bench_scene, 1200, 801);
        draw_display(bench_frame, screen_of(cached), bench_scene, bench_ui, bench_texts);
        auto check = [&](const char* what) {
            draw_display(bench_frame, screen_of(cached), bench_scene, bench_ui, bench_texts);
            const std::vector<unsigned char> a = read_pixels();
            draw_display(bench_frame, screen_of(per_dot), bench_scene, bench_ui, bench_texts);
            long lit;
            const long d = differing(a, read_pixels(), &lit);
            std::printf("pitch %d %-9s %ld pixels differ between cached and per-dot (%ld lit)\n", pitch, what, d, lit);
            differ += d;
            draw_display(bench_frame, screen_of(batched), bench_scene, bench_ui, bench_texts);
            const std::vector<unsigned char> c = read_pixels();
            draw_display(bench_frame, screen_of(per_dot), bench_scene, bench_ui, bench_texts);
            const long db = differing(c, read_pixels(), &lit);
            std::printf("pitch %d %-9s %ld pixels differ between batched and per-dot\n", pitch, what, db);
            differ += db;
        };
        grab_moving_text();
        for (int k = 0; k < 40; k += 7) {
            drag_step(k);
            draw_display(bench_frame, screen_of(cached), bench_scene, bench_ui, bench_texts);
        }
        check("dragging");
        on_mouse(bench_ui, bench_scene, mouse_left, mouse_up, 0, 0);
        check("dropped");
        on_key(bench_ui, bench_scene, 'x', 0, 0);
        on_key(bench_ui, bench_scene, 'y', 0, 0);
        check("typed");
        reset_ui_state(bench_ui);
    }
    std::memcpy(static_cast<void*>(&bench_scene), static_cast<const void*>(&start), sizeof bench_scene);
    return differ;
}

