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

void swap() { glutSwapBuffers(); }

// The scene under measure (static storage: it is about 800 KB).
Scene scene;

// Evaluates the tiny expressions of the scene file: a sum of terms, each a
// product of factors, each a number, i (the repeat index), i%N or i/N.
long eval(const std::string& expr, long i) {
    long total = 0;
    std::stringstream terms(expr);
    std::string term;
    while (std::getline(terms, term, '+')) {
        long value = 1;
        std::stringstream factors(term);
        std::string f;
        while (std::getline(factors, f, '*')) {
            if (f.rfind("i%", 0) == 0)
                value *= i % std::stol(f.substr(2));
            else if (f.rfind("i/", 0) == 0)
                value *= i / std::stol(f.substr(2));
            else
                value *= f == "i" ? i : std::stol(f);
        }
        total += value;
    }
    return total;
}

// Places the scene's shapes in records 37.. of groups 0, 1, 2, ...
bool load_scene(const char* path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "bench: cannot open %s\n", path);
        return false;
    }
    int group = 0, index = 37, next_text = 5;
    std::string line;
    while (std::getline(in, line)) {
        std::stringstream ls(line);
        std::string word;
        if (!(ls >> word) || word[0] == '#') continue;
        if (word == "pitch") {
            int p;
            ls >> p;
            set_dot_pitch(scene, p);
            continue;
        }
        if (word == "board") {   // board W H: every board's size in LEDs
            ls >> scene.board_at(0, 0).width >> scene.board_at(0, 0).height;
            continue;
        }
        if (word == "grid") {   // grid COLUMNS ROWS
            int32_t columns = 1;
            ls >> columns >> scene.board_rows;
            set_board_columns(scene, columns);
            continue;
        }
        if (word == "text") {   // text COUNT X Y SIZE COLOUR WORD: texts 5.. (WORD repeated to fill)
            long count;
            std::string x, y, size, colour, text;
            ls >> count >> x >> y >> size >> colour >> text;
            for (long i = 0; i < count && next_text < string_draw_count; ++i, ++next_text) {
                string_draw& t = scene.string_draws[next_text];
                t.x = static_cast<uint32_t>(eval(x, i));
                t.y = static_cast<uint32_t>(eval(y, i));
                t.font_size = static_cast<uint8_t>(eval(size, i));
                t.colour = static_cast<int32_t>(eval(colour, i));
                t.pitch = scene.dot_pitch;
                t.enabled = 1;
                platform_utf8_to_gbk(text.c_str(), t.text, sizeof t.text);   // the file is UTF-8, texts GBK
                t.length = static_cast<int32_t>(std::strlen(t.text));
            }
            scene.text_count = next_text;
            continue;
        }
        long count;
        std::string kind, x, y, w, h, colour;
        ls >> count >> kind >> x >> y >> w >> h >> colour;
        for (long i = 0; i < count; ++i) {
            Digit_unit& d = scene.digit_at(group, index);
            d.kind = static_cast<uint8_t>(eval(kind, i));
            d.x = static_cast<uint32_t>(eval(x, i));
            d.y = static_cast<uint32_t>(eval(y, i));
            d.width = static_cast<int32_t>(eval(w, i));
            d.height = static_cast<int32_t>(eval(h, i));
            d.colour = static_cast<uint8_t>(eval(colour, i));
            d.pitch = scene.dot_pitch;
            if (++index == digit_group_size) index = 37, ++group;
        }
    }
    lay_out_boards(scene);
    settle_positions_on_sign(scene);   // as an edit leaves them
    return true;
}

struct Result {
    double fps;
    long dots, calls;
    double build_ms, finish_ms;   // per frame: draw_display's own time, then the GL's
};

Result run(Gl_sink& sink, double seconds) {
    set_dot_sink(&sink);
    reshape_view(scene, 1200, 801);
    draw_display(scene);   // warm-up: glyph textures, repositioning
    glFinish();
    int frames = 0;
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    double elapsed = 0, build = 0, finish = 0;
    while (elapsed < seconds || frames < 5) {
        auto t0 = clock::now();
        draw_display(scene);
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
    set_dot_sink(&sink);
    reshape_view(scene, 1200, 801);
    draw_display(scene);
    draw_display(scene);
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

// The text the benchmarks drag and type into: the last text record, on the
// sign 40 LEDs from its corner, selected.
constexpr int moving_text = string_draw_count - 1;

void place_moving_text() {
    string_draw& t = scene.string_draws[moving_text];
    const led_unit& b = scene.board_at(0, 0);
    t.x = static_cast<uint32_t>(b.x + 40 * scene.dot_pitch);
    t.y = static_cast<uint32_t>(b.y + 40 * scene.dot_pitch);
    t.pitch = scene.dot_pitch;
    t.font_size = 16;
    t.colour = 1;
    t.enabled = 1;
    platform_utf8_to_gbk("Drag 拖动", t.text, sizeof t.text);
    t.length = static_cast<int32_t>(std::strlen(t.text));
    scene.selected_text = moving_text;
    settle_after_edit(scene);
}

// Holds the moving text as a press on it does (whatever lies over it).
void grab_moving_text() {
    scene.selected_text = moving_text;
    text_grabbed = 1;
    anchor_x = anchor_y = 2;
}

// The moving text's k-th place of a drag across the window: 3 pixels a
// frame to the right, and down a little, in window pixels of the mouse.
void drag_step(int k) {
    on_motion(scene, 300 + 3 * (k % 250), 260 + (k % 250) / 2);
}

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
    std::memcpy(static_cast<void*>(&start), static_cast<const void*>(&scene), sizeof scene);
    long differ = 0;
    for (int pitch = 2; pitch <= 4; ++pitch) {
        std::memcpy(static_cast<void*>(&scene), static_cast<const void*>(&start), sizeof scene);
        set_dot_pitch(scene, pitch);
        lay_out_boards(scene);
        settle_positions_on_sign(scene);
        place_moving_text();
        Gl_sink cached(nullptr, true), per_dot(nullptr, false), batched(nullptr, true);
        per_dot.set_layer_enabled(false);
        batched.set_layer_enabled(false);
        set_dot_sink(&cached);
        reshape_view(scene, 1200, 801);
        draw_display(scene);
        auto check = [&](const char* what) {
            set_dot_sink(&cached);
            draw_display(scene);
            const std::vector<unsigned char> a = read_pixels();
            set_dot_sink(&per_dot);
            draw_display(scene);
            long lit;
            const long d = differing(a, read_pixels(), &lit);
            std::printf("pitch %d %-9s %ld pixels differ between cached and per-dot (%ld lit)\n", pitch, what, d, lit);
            differ += d;
            set_dot_sink(&batched);
            draw_display(scene);
            const std::vector<unsigned char> c = read_pixels();
            set_dot_sink(&per_dot);
            draw_display(scene);
            const long db = differing(c, read_pixels(), &lit);
            std::printf("pitch %d %-9s %ld pixels differ between batched and per-dot\n", pitch, what, db);
            differ += db;
        };
        grab_moving_text();
        for (int k = 0; k < 40; k += 7) {
            drag_step(k);
            set_dot_sink(&cached);
            draw_display(scene);
        }
        check("dragging");
        on_mouse(scene, mouse_left, mouse_up, 0, 0);
        check("dropped");
        on_key(scene, 'x', 0, 0);
        on_key(scene, 'y', 0, 0);
        check("typed");
        reset_input_state();
    }
    std::memcpy(static_cast<void*>(&scene), static_cast<const void*>(&start), sizeof scene);
    return differ;
}

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
    std::memcpy(static_cast<void*>(&saved), static_cast<const void*>(&scene), sizeof scene);
    set_dot_sink(&sink);
    reshape_view(scene, 1200, 801);
    draw_display(scene);   // the layer (if any) as the editor has it before the edit
    glFinish();
    std::vector<double> ms;
    using clock = std::chrono::steady_clock;
    for (int k = 0; k < n; ++k) {
        const auto t0 = clock::now();
        change(k);
        draw_display(scene);
        glFinish();
        ms.push_back(std::chrono::duration<double, std::milli>(clock::now() - t0).count());
    }
    std::memcpy(static_cast<void*>(&scene), static_cast<const void*>(&saved), sizeof scene);
    reset_input_state();
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
                on_key(scene, static_cast<uint8_t>('a' + k % 26), 0, 0);
            } else {
                on_key(scene, k % 2 ? 1 : 17, 0, 0);   // Ctrl+Q, Ctrl+A
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

}  // namespace

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

int outputs(const char* scene_file) {
    std::string err;
    char exe[4096];
    if (!platform_executable_path(exe, sizeof exe, &err)) return 1;
    std::string editor = std::string(exe);
    editor = editor.substr(0, editor.rfind('/')) + "/../bin/vantiro";
    if (!startup_paths_and_config(editor.c_str(), &err)) return 1;
    build_layout(scene);
    if (!load_scene(scene_file)) return 1;
    char dir[] = "/tmp/vantiro-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    Export_outcome o;
    const double export_ms = best_ms([&] { o = export_to_folder(scene, dir, scene_folder, 0); });
    if (!o.written) {
        std::fprintf(stderr, "bench: %s\n", o.message.c_str());
        return 1;
    }
    std::vector<uint8_t> script;
    if (!platform_read_file((o.ledsys + "/CMD/cmd.txt").c_str(), 1u << 30, &script, &err)) return 1;
    int w, h;
    output_screen_size(scene, &w, &h);
    Card_model card(w, h);
    const double play_ms = best_ms([&] {
        card.reset();
        card.run_script(script.data(), script.size());
    });
    Led_framebuffer screen(w, h);
    const double render_ms = best_ms([&] { render_scene_leds(scene, screen); });
    std::printf("export %.1f ms (cmd.txt %zu bytes, %ld lines), play %.1f ms (%ld LEDs lit), render %.1f ms "
                "(%ld LEDs lit)\n",
                export_ms, script.size(), card.counts.run, play_ms, card.screen.lit_count(), render_ms,
                screen.lit_count());
    std::system((std::string("rm -rf ") + dir).c_str());

    // Undo: a zoom (every element on the sign moves), undone and redone.
    start_editor_history(scene);
    on_key(scene, 17, 0, 0);
    const size_t zoom_step = editor_history().newest_step_bytes();
    const double undo_ms = best_ms([] {
        undo_edit(scene);
        redo_edit(scene);
    }) / 2;
    const double record_ms = best_ms([] {
        on_key(scene, 17, 0, 0);   // the zoom and its step
        undo_edit(scene);
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
    if (!startup_paths_and_config(editor.c_str(), &err, dir)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    build_layout(scene);
    if (!load_scene(scene_file)) return 1;
    if (!save_scene_files(scene, &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    return 0;
}

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
    set_layer_use(Layer_use::always);   // the "cached" sink keeps its layer whatever the scene
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
    if (!startup_paths_and_config(editor.c_str(), &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    if (!startup_open_face(nullptr, 0, &err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    build_layout(scene);
    scene.mouse_x = 600;   // the readout is part of every frame
    scene.mouse_y = 500;
    if (check) {
        long differ = compare("start-up");
        if (!load_scene(scene_file)) return 1;
        differ += compare("heavy");
        differ += compare_edits();
        set_dot_pitch(scene, 3);   // odd point sizes
        differ += compare("pitch 3");
        return differ ? 1 : 0;
    }
    const int frames = std::max(10, static_cast<int>(seconds * 40));
    report("start-up", seconds);
    report_edits("start-up", frames, 20);
    Scene& startup = *new Scene;   // kept for the full sign
    std::memcpy(static_cast<void*>(&startup), static_cast<const void*>(&scene), sizeof scene);
    if (!load_scene(scene_file)) return 1;
    report("heavy", seconds);
    report_edits("heavy", frames, 10);
    if (full_file) {
        std::memcpy(static_cast<void*>(&scene), static_cast<const void*>(&startup), sizeof scene);
        if (!load_scene(full_file)) return 1;
        report("full", seconds);
        report_edits("full", frames, 5);
    }
    return 0;
}
