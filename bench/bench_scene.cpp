// The benchmark's scene: its file reader and the edits the timings replay.
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

Scene bench_scene;
Ui_state bench_ui;
Frame_cache bench_frame;
Text_files bench_texts;
Program_paths bench_paths;
Config bench_config;
Outline_font bench_font;
Bitmap_fonts bench_dot_fonts;

void swap() { glutSwapBuffers(); }

namespace {

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

}  // namespace

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
            set_dot_pitch(bench_scene, p);
            continue;
        }
        if (word == "board") {   // board W H: every board's size in LEDs
            ls >> bench_scene.board_at(0, 0).width >> bench_scene.board_at(0, 0).height;
            continue;
        }
        if (word == "grid") {   // grid COLUMNS ROWS
            int32_t columns = 1;
            ls >> columns >> bench_scene.board_rows;
            set_board_columns(bench_scene, columns);
            continue;
        }
        if (word == "text") {   // text COUNT X Y SIZE COLOUR WORD: texts 5.. (WORD repeated to fill)
            long count;
            std::string x, y, size, colour, text;
            ls >> count >> x >> y >> size >> colour >> text;
            for (long i = 0; i < count && next_text < string_draw_count; ++i, ++next_text) {
                string_draw& t = bench_scene.string_draws[next_text];
                t.x = static_cast<uint32_t>(eval(x, i));
                t.y = static_cast<uint32_t>(eval(y, i));
                t.font_size = static_cast<uint8_t>(eval(size, i));
                t.colour = static_cast<int32_t>(eval(colour, i));
                t.pitch = bench_scene.dot_pitch;
                t.enabled = 1;
                platform_utf8_to_gbk(text.c_str(), t.text, sizeof t.text);   // the file is UTF-8, texts GBK
                t.length = static_cast<int32_t>(std::strlen(t.text));
            }
            bench_scene.text_count = next_text;
            continue;
        }
        long count;
        std::string kind, x, y, w, h, colour;
        ls >> count >> kind >> x >> y >> w >> h >> colour;
        for (long i = 0; i < count; ++i) {
            Digit_unit& d = bench_scene.digit_at(group, index);
            d.kind = static_cast<uint8_t>(eval(kind, i));
            d.x = static_cast<uint32_t>(eval(x, i));
            d.y = static_cast<uint32_t>(eval(y, i));
            d.width = static_cast<int32_t>(eval(w, i));
            d.height = static_cast<int32_t>(eval(h, i));
            d.colour = static_cast<uint8_t>(eval(colour, i));
            d.pitch = bench_scene.dot_pitch;
            if (++index == digit_group_size) index = 37, ++group;
        }
    }
    lay_out_boards(bench_scene);
    settle_positions_on_sign(bench_scene);   // as an edit leaves them
    return true;
}

// The text the benchmarks drag and type into: the last text record, on the
// sign 40 LEDs from its corner, selected.
namespace {
constexpr int moving_text = string_draw_count - 1;
}

void place_moving_text() {
    string_draw& t = bench_scene.string_draws[moving_text];
    const led_unit& b = bench_scene.board_at(0, 0);
    t.x = static_cast<uint32_t>(b.x + 40 * bench_scene.dot_pitch);
    t.y = static_cast<uint32_t>(b.y + 40 * bench_scene.dot_pitch);
    t.pitch = bench_scene.dot_pitch;
    t.font_size = 16;
    t.colour = 1;
    t.enabled = 1;
    platform_utf8_to_gbk("Drag 拖动", t.text, sizeof t.text);
    t.length = static_cast<int32_t>(std::strlen(t.text));
    bench_scene.selected_text = moving_text;
    settle_after_edit(bench_scene);
}

// Holds the moving text as a press on it does (whatever lies over it).
void grab_moving_text() {
    bench_scene.selected_text = moving_text;
    bench_ui.input.text_grabbed = 1;
    bench_ui.input.anchor_x = bench_ui.input.anchor_y = 2;
}

// The moving text's k-th place of a drag across the window: 3 pixels a
// frame to the right, and down a little, in window pixels of the mouse.
void drag_step(int k) {
    on_motion(bench_ui, bench_scene, 300 + 3 * (k % 250), 260 + (k % 250) / 2);
}

