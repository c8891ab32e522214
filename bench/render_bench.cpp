// Frame-rate benchmark of the dot sink under a real GL context (Xvfb with
// Mesa llvmpipe). Renders the start-up scene and the heavy scene of
// bench/heavy.scene with the batched GL sink and with a per-dot
// glBegin/glEnd sink, and prints dots per frame, GL draw calls per frame
// and frames per second side by side.
//   vantiro_render_bench bench/heavy.scene [seconds per run]
//   vantiro_render_bench --check bench/heavy.scene
//   vantiro_render_bench --outputs bench/heavy.scene   (no display needed)
// With --check it renders each scene once with either sink and fails when
// the two pictures differ in any pixel (a GUI test runs this). With
// --outputs it times, without a window, the export of the scene to a
// folder, the card model running the exported cmd.txt, and the editor's
// picture of the scene as LEDs.
#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
#include "ui/menus.h"

namespace {

void swap() { glutSwapBuffers(); }

// The scene under measure (static storage: it is about 800 KB).
Scene scene;

// Evaluates the tiny expressions of the scene file: terms of the form
// a+b*i or a*i or i%3, with i the repeat index.
long eval(const std::string& expr, long i) {
    long total = 0;
    std::stringstream terms(expr);
    std::string term;
    while (std::getline(terms, term, '+')) {
        long value = 1;
        size_t mod = term.find('%');
        if (mod != std::string::npos) {
            value = i % std::stol(term.substr(mod + 1));
        } else {
            std::stringstream factors(term);
            std::string f;
            while (std::getline(factors, f, '*')) value *= f == "i" ? i : std::stol(f);
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
    int group = 0, index = 37;
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

// Renders one frame with sink and reads the window's pixels back.
std::vector<unsigned char> picture(Gl_sink& sink) {
    set_dot_sink(&sink);
    reshape_view(scene, 1200, 801);
    draw_display(scene);
    draw_display(scene);
    glFinish();
    std::vector<unsigned char> pixels(1200 * 801 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1200, 801, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Number of pixels that differ between the batched and the per-dot picture.
long compare(const char* name) {
    // No swap: the picture is read from the back buffer.
    Gl_sink batched(nullptr, true), per_dot(nullptr, false);
    std::vector<unsigned char> a = picture(batched), b = picture(per_dot);
    long differ = 0, lit = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        bool d = a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        if (d && differ < 5) {
            size_t px = i / 3;
            std::printf("  differs at (%zu, %zu): batched %d,%d,%d per-dot %d,%d,%d\n", px % 1200,
                        800 - px / 1200, a[i], a[i + 1], a[i + 2], b[i], b[i + 1], b[i + 2]);
        }
        differ += d;
        lit += b[i] || b[i + 1] || b[i + 2];
    }
    std::printf("%-8s %ld of %zu pixels differ between batched and per-dot (%ld lit)\n", name,
                differ, a.size() / 3, lit);
    return differ;
}

void report(const char* name, double seconds) {
    Gl_sink batched(swap, true), per_dot(swap, false);
    Result b = run(batched, seconds);
    Result p = run(per_dot, seconds);
    std::printf("%-8s dots/frame %8ld | batched: %4ld draw calls, %7.1f frames/s | per-dot: "
                "%8ld draw calls, %7.1f frames/s | speed-up %.1fx\n",
                name, b.dots, b.calls, b.fps, p.calls, p.fps, b.fps / p.fps);
    std::printf("%-8s ms/frame in draw_display then in glFinish | batched: %.2f + %.2f | "
                "per-dot: %.2f + %.2f\n",
                name, b.build_ms, b.finish_ms, p.build_ms, p.finish_ms);
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
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--outputs") return outputs(argv[2]);
    const bool check = argc > 1 && std::string(argv[1]) == "--check";
    if (argc < 2 + check) {
        std::fprintf(stderr, "usage: %s [--check] SCENE [SECONDS]\n", argv[0]);
        return 2;
    }
    const char* scene_file = argv[1 + check];
    double seconds = argc > 2 + check ? std::atof(argv[2 + check]) : 3.0;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "bench: no X display; nothing to draw on\n");
        return check ? 77 : 1;   // 77: the check is skipped, not failed
    }
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
        set_dot_pitch(scene, 3);   // odd point sizes
        differ += compare("pitch 3");
        return differ ? 1 : 0;
    }
    report("start-up", seconds);
    if (!load_scene(scene_file)) return 1;
    report("heavy", seconds);
    return 0;
}
