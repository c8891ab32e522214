// The window shows exactly what the card lights. A scene is written as
// scene.conf and loaded as at start-up; the frame is drawn into a memory
// sink and its dots are painted into window pixels as GL paints a point;
// the same scene's cmd.txt runs on the card model. Every LED of every board
// the card drives is then compared with the window pixel at its centre:
// same colour, or both dark. Random scenes (VANTIRO_FIDELITY_SCENES of
// them, 10,000 by default; VANTIRO_FIDELITY_SEED reruns one) and a table
// of hand-made scenes go through the same check.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "card/card_model.h"
#include "app/scene_json.h"
#include "controller/drive_export.h"
#include "controller/font_check.h"
#include "controller/live_send.h"
#include "controller/sign_picture.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/dot_sink.h"
#include "render/memory_sink.h"
#include "scene/pools.h"
#include "scene/record_fields.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "tests/unit/temp_dir.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "command/flash_image.h"
#include "command/replay.h"
#include "scene/free_records.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

constexpr uint8_t dark = Led_framebuffer::dark;
constexpr uint8_t other_colour = 3;   // a window pixel in no LED colour (white, orange)

// The scene as the editor has it before its files are read.
void fresh_start() {
    reset_scene(scene);
    build_layout(scene);
}

std::string gbk(const char* utf8) {
    char out[512];
    platform_utf8_to_gbk(utf8, out, sizeof out);
    return out;
}

// A scene file: everything scene.conf holds, starting from the start-up scene (board 0,
// the palette in every group, the left panel's texts), plus the first
// bytes of my_txt3.txt and my_txt4.txt beside the editor.
struct Scene_file {
    int pitch = 2, counts[6] = {}, menu[2] = {};
    std::vector<led_unit> boards{scene.led_units, scene.led_units + led_unit_count};
    std::vector<string_draw> texts{scene.string_draws, scene.string_draws + string_draw_count};
    std::vector<Digit_unit> digits{scene.digit_units, scene.digit_units + digit_groups_in_use * digit_group_size};
    bool has_file[2] = {};
    std::string file[2];

    Scene_file() {
        const int32_t c[6] = {scene.text_count, 42, scene.graph_count, scene.board_columns, scene.board_rows, scene.export_columns};
        std::copy(c, c + 6, counts);
        menu[0] = scene.brightness_level, menu[1] = scene.panel_type;
    }
    led_unit& board(int r, int c) { return boards[r * board_grid_cols + c]; }
    Digit_unit& digit(int g, int i) { return digits[g * digit_group_size + i]; }
    // rows x cols boards of w x h LEDs side by side from (x, y) at the scene's pitch.
    void grid(int rows, int cols, int w, int h, int x = 276, int y = 226) {
        counts[3] = counts[5] = cols, counts[4] = rows;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) place_board(board(r, c), x + c * w * pitch, y + r * h * pitch, w, h);
    }
    // Window pixel of LED (lx, ly) of board (0, 0) at the scene's pitch.
    void on_board(int lx, int ly, uint32_t* x, uint32_t* y) {
        *x = static_cast<uint32_t>(board(0, 0).x + lx * pitch);
        *y = static_cast<uint32_t>(board(0, 0).y + ly * pitch);
    }
    static void place_board(led_unit& u, int x, int y, int w, int h) { u.x = x, u.y = y, u.width = w, u.height = h; }
    void set_text(string_draw& s, const std::string& bytes) {
        std::memset(s.text, 0, sizeof s.text);
        std::memcpy(s.text, bytes.data(), std::min(bytes.size(), sizeof s.text - 1));
        s.length = static_cast<int32_t>(std::strlen(s.text));
    }

    // scene.conf of this scene: each record's fields as the field tables list them.
    std::string conf() const {
        char line[200];
        std::string out = "vantiro-scene 1\n";
        std::snprintf(line, sizeof line, "view %d\ncounts %d %d %d %d %d %d\nmenu %d %d\n", pitch, counts[0],
                      counts[1], counts[2], counts[3], counts[4], counts[5], menu[0], menu[1]);
        out += line;
        auto record = [&](const std::string& head, const auto& fields, const auto& r) {
            out += head;
            for (const auto& f : fields) out += " " + std::to_string(f.get(r));
        };
        for (int k = 0; k < led_unit_count; ++k) {
            record("board " + std::to_string(k / board_grid_cols) + " " + std::to_string(k % board_grid_cols),
                   board_fields, boards[k]);
            out += "\n";
        }
        for (int k = 0; k < string_draw_count; ++k) {
            const string_draw& s = texts[k];
            record("text " + std::to_string(k), text_fields, s);
            const size_t n = std::strlen(s.text);
            out += " " + (n ? hex_of(s.text, n) : std::string("-")) + "\n";
        }
        for (size_t n = 0; n < digits.size(); ++n) {
            record("digit " + std::to_string(n / digit_group_size) + " " + std::to_string(n % digit_group_size),
                   digit_fields, digits[n]);
            out += "\n";
        }
        return out + "end\n";
    }
};

// LEDs that differ, by kind, and the first few of them.
struct Differences {
    long leds = 0, window_only = 0, card_only = 0, colour = 0, no_board = 0;
    long card_lit = 0;
    std::string first;
    long total() const { return window_only + card_only + colour + no_board; }
    void note(long* kind, const std::string& what) {
        ++*kind;
        if (total() <= 6) first += "\n  " + what;
    }
};

class Fidelity_test : public ::testing::Test {
protected:
    void SetUp() override {
        set_bitmap_fonts_below(test_fonts(), VANTIRO_FONT_DIR);
        fresh_start();
    }
    // Writes the scene's files into the editor's folder and loads them as
    // the editor does at start-up. False when scene.conf was not taken.
    bool load(const Scene_file& s) {
        Test_app& app = test_app();
        std::string err;
        if (!use_folder(app.paths, dir.path(), &err)) return false;
        dir.write("scene.conf", s.conf());
        for (int k = 0; k < 2; ++k) {
            const std::string name = dir.path() + "/my_txt" + std::to_string(k + 3) + ".txt";
            std::remove(name.c_str());
            std::remove((stick.path() + "/my_txt" + std::to_string(k + 3) + ".txt").c_str());
            if (s.has_file[k]) dir.write("my_txt" + std::to_string(k + 3) + ".txt", s.file[k]);
        }
        fresh_start();
        load_scene_files(scene, app.paths.data, ui.status);
        refresh_text_files(app.texts, app.paths);   // as start-up does after the load
        return scene.rect_count == s.counts[1] && scene.dot_pitch == s.pitch;
    }

    // The window's picture against the card's, LED by LED.
    Differences compare() {
        Test_app& app = test_app();
        scene.selected_board_col = scene.selected_board_row = no_board;
        scene.selected_digit_col = scene.selected_digit_row = no_digit;
        scene.selected_text = no_text;
        scene.selected_graph = no_graph;
        sink.clear();
        draw_display(app.frame, screen, scene, ui, app.texts);

        // The dots as GL paints points: later ones over earlier ones.
        const int vw = scene.view_width, vh = scene.view_height;
        pixels.assign(static_cast<size_t>(vw) * vh, dark);
        for (const Memory_sink::Dot& d : sink.dots) {
            const int n = static_cast<int>(d.size + 0.5f), cx = static_cast<int>(d.x), cy = static_cast<int>(d.y);
            const int before = n / 2, after = n % 2 ? n / 2 + 1 : n / 2, shift = n % 2;
            const uint8_t code = d.r == 1 && d.g == 0 && d.b == 0   ? 0
                                 : d.r == 0 && d.g == 1 && d.b == 0 ? 1
                                 : d.r == 1 && d.g == 1 && d.b == 0 ? 2
                                                                    : other_colour;
            for (int y = std::max(cy - before - shift, 0); y < std::min(cy + after - shift, vh); ++y)
                for (int x = std::max(cx - before, 0); x < std::min(cx + after, vw); ++x)
                    pixels[static_cast<size_t>(y) * vw + x] = code;
        }

        int w, h;
        output_screen_size(scene, &w, &h);
        // The card reads my_txt3.txt and my_txt4.txt where the export would
        // copy them from (copying each scene's files would cost a sync).
        Script_files files;
        files.text_source_folder = app.paths.scene_folder;
        const std::string script = scene_command_script(scene, files);
        Card_model card(test_fonts(), w, h);
        card.set_txt_folder(dir.path());
        card.run_script(reinterpret_cast<const uint8_t*>(script.data()), script.size());

        // Board (r, c) at window (U.x, U.y) shows the card's LEDs from (c * U.width, r * U.height).
        Differences out;
        std::vector<char> on_a_board(static_cast<size_t>(w) * h, 0);
        const int64_t p = scene.dot_pitch;
        for (int r = 0; r < output_rows(scene); ++r)
            for (int c = 0; c < output_columns(scene); ++c) {
                const led_unit& u = scene.board_at(r, c);
                for (int64_t ly = 0; ly < u.height; ++ly)
                    for (int64_t lx = 0; lx < u.width; ++lx) {
                        const int64_t X = c * int64_t{u.width} + lx, Y = r * int64_t{u.height} + ly;
                        const int64_t px = int64_t{static_cast<uint32_t>(u.x)} + lx * p;
                        const int64_t py = int64_t{static_cast<uint32_t>(u.y)} + ly * p;
                        if (X < w && Y < h) on_a_board[Y * w + X] = 1;
                        if (px < 0 || py < 0 || px >= vw || py >= vh) continue;
                        ++out.leds;
                        const uint8_t win = pixels[py * vw + px], led = card.screen.at(int(X), int(Y));
                        if (win == led) continue;
                        auto code = [](uint8_t v) { return v == dark ? std::string("dark") : std::to_string(v); };
                        const std::string where = "LED (" + std::to_string(X) + "," + std::to_string(Y) +
                                                  ") of board (" + std::to_string(r) + "," + std::to_string(c) +
                                                  ") at pixel (" + std::to_string(px) + "," + std::to_string(py) +
                                                  "): window " + code(win) + ", card " + code(led);
                        out.note(win == dark ? &out.card_only : led == dark ? &out.window_only : &out.colour, where);
                    }
            }
        for (int Y = 0; Y < h; ++Y)
            for (int X = 0; X < w; ++X) {
                if (card.screen.at(X, Y) == dark) continue;
                ++out.card_lit;
                if (!on_a_board[static_cast<size_t>(Y) * w + X])
                    out.note(&out.no_board, "LED (" + std::to_string(X) + "," + std::to_string(Y) +
                                                ") lit on the card lies on no board");
            }
        return out;
    }

    Temp_dir dir, stick;
    Memory_sink sink;
    Outline_font font;   // no face: the labels draw nothing
    Screen screen{sink, font, test_fonts()};
    std::vector<uint8_t> pixels;
};

std::string summary(const Differences& d) {
    return std::to_string(d.total()) + " of " + std::to_string(d.leds) + " LEDs differ (window only " +
           std::to_string(d.window_only) + ", card only " + std::to_string(d.card_only) + ", colour " +
           std::to_string(d.colour) + ", on the card off every board " + std::to_string(d.no_board) + ")" + d.first;
}

// A random scene: pitch 2..8, up to 4 x 6 boards side by side or placed
// anywhere, shapes of every kind and colour, texts of every height,
// texts 3 and 4 with and without their files.
Scene_file random_scene(uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto chance = [&](int percent) { return pick(0, 99) < percent; };
    fresh_start();
    Scene_file s;
    const int p = s.pitch = pick(2, 8);
    const int rows = pick(1, 4), cols = pick(1, 6);
    s.grid(rows, cols, 16 * pick(1, 8), 16 * pick(1, 4), chance(80) ? 276 : pick(251, 600),
           chance(80) ? 226 : pick(141, 400));
    if (chance(10)) s.counts[5] = pick(0, max_board_columns);
    if (chance(25))   // boards anywhere: overlapping, with gaps, in the margin
        for (led_unit& u : s.boards)
            Scene_file::place_board(u, pick(0, 1100), pick(0, 760), 8 * pick(1, 12), 8 * pick(1, 8));
    s.counts[0] = pick(0, string_draw_count);
    s.counts[1] = pick(1, 99);
    s.menu[0] = pick(0, max_brightness), s.menu[1] = pick(0, 3);

    auto place = [&](uint32_t* x, uint32_t* y) {
        const led_unit& u = s.board(pick(0, rows - 1), pick(0, cols - 1));
        int lx = pick(0, u.width - 1), ly = pick(0, u.height - 1);
        switch (pick(0, 7)) {
            case 0: lx = 0; break;                          // on the left edge
            case 1: ly = 0; break;                          // on the top edge
            case 2: lx = u.width - pick(1, 3); break;       // reaching over the next board
            case 3: lx = -pick(1, 20); break;               // left of the board
            default: break;
        }
        int64_t px = u.x + int64_t{lx} * p + (chance(15) ? pick(1, p - 1) : 0);
        int64_t py = u.y + int64_t{ly} * p + (chance(15) ? pick(1, p - 1) : 0);
        if (chance(4)) px = pick(0, 250);
        if (chance(4)) py = pick(0, 140);
        if (chance(4)) px = pick(1100, 1300);
        *x = static_cast<uint32_t>(std::max<int64_t>(px, 0));
        *y = static_cast<uint32_t>(std::max<int64_t>(py, 0));
    };
    const uint8_t kinds[] = {kind_block, kind_hline, kind_circle, kind_block_pair, kind_vline, kind_rect,
                             6, kind_digit};   // 6: a code no element draws
    const uint8_t colours[] = {0, 1, 2, 0, 1, 2, 3, 7, 255};
    for (int n = pick(0, 30); n > 0; --n) {
        Digit_unit& d = s.digit(pick(0, digit_groups_in_use - 1), pick(0, digit_group_size - 1));
        d.kind = kinds[pick(0, 7)];
        d.colour = chance(95) ? colours[pick(0, 8)] : static_cast<uint8_t>(pick(0, 255));
        d.width = pick(-3, 70);
        d.height = d.kind == kind_block && chance(80) ? pick(1, 12) : pick(-2, 40);
        d.digits = pick(0, 5), d.param_a = pick(0, 20), d.param_b = pick(0, 4);
        d.type_code = chance(20) ? 11 : chance(10) ? 13 : pick(0, 600);
        d.enabled = chance(90);
        d.pitch = static_cast<uint8_t>(chance(90) ? p : pick(2, 8));
        place(&d.x, &d.y);
    }
    const std::string words[] = {gbk("Hello"), gbk("LED 2024"), gbk("a  b"), gbk("Temp:25C"), gbk("!#%&"),
                                 gbk("欢迎光临"), gbk("温度"), gbk("显示屏"), gbk("早上好"), gbk("，。"),
                                 "  "};
    auto sentence = [&] {
        std::string t;
        for (int n = pick(1, 4); n > 0; --n) t += words[pick(0, 10)];
        return t;
    };
    for (int n = pick(0, 12); n > 0; --n) {
        const int k = chance(25) ? pick(0, 4) : pick(5, string_draw_count - 1);
        string_draw& t = s.texts[k];
        if (k >= 5 || chance(50)) s.set_text(t, sentence());
        t.font_size = static_cast<uint8_t>(pick(12, 32));
        t.colour = chance(95) ? colours[pick(0, 8)] : pick(0, 255);
        if (k >= 5) t.text_source = static_cast<uint8_t>(chance(85) ? 0 : pick(1, 4));
        t.enabled = chance(90);
        t.pitch = chance(90) ? p : pick(2, 8);
        if (k >= 5 || chance(60)) place(&t.x, &t.y);
    }
    for (int k = 0; k < 2; ++k) {
        s.has_file[k] = chance(70);
        s.file[k] = sentence() + (chance(30) ? "\r\n" + sentence() : "");
    }
    return s;
}

int env_number(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// Random scenes loaded from their files: the window's LEDs are the card's.
TEST_F(Fidelity_test, RandomScenesLookTheSameInTheWindowAndOnTheCard) {
    const char* one = std::getenv("VANTIRO_FIDELITY_SEED");
    const int scenes = one && *one ? 1 : env_number("VANTIRO_FIDELITY_SCENES", 10000);
    const auto start = std::chrono::steady_clock::now();
    Differences all;
    long differing = 0, leds = 0, card_lit = 0;
    std::string reported;
    for (int n = 0; n < scenes; ++n) {
        const uint32_t seed = one && *one ? static_cast<uint32_t>(std::strtoul(one, nullptr, 10)) : 1000u + n;
        ASSERT_TRUE(load(random_scene(seed))) << "scene.conf of seed " << seed << " was not taken";
        const Differences d = compare();
        leds += d.leds, card_lit += d.card_lit;
        all.window_only += d.window_only, all.card_only += d.card_only;
        all.colour += d.colour, all.no_board += d.no_board;
        if (d.total() && ++differing <= 5)
            reported += "\nseed " + std::to_string(seed) + " (VANTIRO_FIDELITY_SEED=" + std::to_string(seed) +
                        "): " + summary(d);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fidelity: %d scenes, %ld LEDs compared, %ld lit on the card, %.1f s\n", scenes, leds, card_lit,
                seconds);
    EXPECT_GT(card_lit, 0);   // the scenes light something
    EXPECT_EQ(differing, 0) << differing << " of " << scenes << " scenes differ; " << all.total()
                            << " LEDs (window only " << all.window_only << ", card only " << all.card_only
                            << ", colour " << all.colour << ", on the card off every board " << all.no_board << ")"
                            << reported;
}

// What the operator has placed: every record no new element may take, as
// its bytes (empty for a free one).
std::vector<std::vector<uint8_t>> records_in_use(const Scene& sc) {
    std::vector<std::vector<uint8_t>> out;
    auto bytes = [](const auto& r) {
        const auto* b = reinterpret_cast<const uint8_t*>(&r);
        return std::vector<uint8_t>(b, b + sizeof r);
    };
    for (int i = 0; i < string_draw_count; ++i)
        out.push_back(i < 5 || !text_record_free(sc, i) ? bytes(sc.string_draws[i]) : std::vector<uint8_t>());
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            out.push_back(shape_record_free(sc, g, i) ? std::vector<uint8_t>() : bytes(sc.digit_at(g, i)));
    return out;
}

// A stored script of a few random text and rectangle lines, as the card's
// flash keeps it.
std::vector<uint8_t> random_stored_script(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint8_t> image(flash_window_end, 0);
    Command_image_writer writer(image.data(), image.size());
    for (int k = 0, n = pick(1, 6); k < n; ++k) {
        char line[120];
        if (pick(0, 1))
            std::snprintf(line, sizeof line, "led %dt %d %d %d W%d\n", pick(0, 1) ? 16 : 12, pick(0, 2), pick(0, 60),
                          pick(0, 40), pick(0, 999));
        else
            std::snprintf(line, sizeof line, "led r %d %d %d %d %d\n", pick(0, 2), pick(0, 50), pick(0, 30),
                          pick(51, 120), pick(31, 60));
        writer.add(static_cast<uint32_t>(100 + k), line, std::strlen(line));
    }
    writer.finish();
    return image;
}

// Random sessions of what makes and removes elements: Ctrl+D and Ctrl+E,
// palette elements dropped on the sign, Delete, the held board's size keys,
// and replays of random stored scripts (as the start-up sync does). A step
// that makes an element leaves every record in use before it as it was.
// At the end the scene is saved and loaded as a fresh start loads it, and
// the window shows what the card lights running its script.
TEST_F(Fidelity_test, MadeElementsNeverTakeARecordInUseAndReopenAsShown) {
    Test_app& app = test_app();
    const int sequences = std::max(20, env_number("VANTIRO_UNDO_SEQUENCES", 1000) / 10);
    std::mt19937 rng(20261209);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    static Scene copy;
    long made = 0, differing = 0;
    std::string reported;
    for (int sequence = 0; sequence < sequences; ++sequence) {
        std::string err;
        ASSERT_TRUE(use_folder(app.paths, dir.path(), &err)) << err;
        fresh_start();
        for (int i = 5; i < string_draw_count; ++i) scene.string_draws[i].enabled = 0;   // as a start leaves them
        lay_out_boards(scene);
        settle_positions_on_sign(scene);
        const led_unit& b = scene.board_at(0, 0);
        for (int step = 0, steps = pick(4, 30); step < steps; ++step) {
            const std::vector<std::vector<uint8_t>> before = records_in_use(scene);
            const int32_t texts = scene.texts_made, shapes = scene.shapes_made;
            const int bx = b.x + pick(2, 200), by = b.y + pick(2, 100);
            switch (pick(0, 6)) {
                case 0: on_key(ui, scene, 4, 0, 0); break;   // Ctrl+D
                case 1: on_key(ui, scene, 5, 0, 0); break;   // Ctrl+E
                case 2: {   // a palette element dropped on the sign
                    uint32_t px, py;
                    const int i = pick(0, 1) ? pick(31, 36) : pick(0, 30);
                    palette_place(i, &px, &py);
                    const int x = static_cast<int>(px) + (i == 33 ? 0 : 3), y = static_cast<int>(py) + (i == 33 ? 0 : 3);
                    on_mouse(ui, scene, mouse_left, mouse_down, x, y);
                    on_motion(ui, scene, (x + bx) / 2, (y + by) / 2);
                    on_motion(ui, scene, bx, by);
                    on_mouse(ui, scene, mouse_left, mouse_up, bx, by);
                    break;
                }
                case 3:   // Delete of whatever a click on the sign picks
                    on_mouse(ui, scene, mouse_left, mouse_down, bx, by);
                    on_mouse(ui, scene, mouse_left, mouse_up, bx, by);
                    on_key(ui, scene, 127, 0, 0);
                    break;
                case 4: {   // the board held while its size keys are pressed
                    on_mouse(ui, scene, mouse_left, mouse_down, b.x + 1, b.y + 1);
                    static const int keys[] = {key_left, key_right, key_up, key_down};
                    on_special_key(ui, scene, keys[pick(0, 3)], 0, 0);
                    on_mouse(ui, scene, mouse_left, mouse_up, b.x + 1, b.y + 1);
                    break;
                }
                case 5: {   // typing into a picked text
                    on_mouse(ui, scene, mouse_left, mouse_down, b.x + 3, b.y + 3);
                    on_mouse(ui, scene, mouse_left, mouse_up, b.x + 3, b.y + 3);
                    on_key(ui, scene, static_cast<uint8_t>(pick('a', 'z')), 0, 0);
                    break;
                }
                default: {   // the card's stored script replayed onto the scene
                    const std::vector<uint8_t> image = random_stored_script(rng);
                    std::memcpy(static_cast<void*>(&copy), static_cast<const void*>(&scene), sizeof scene);
                    replay_image_onto(scene, copy, ui.status, image.data(), image.size());
                    break;
                }
            }
            if (scene.texts_made == texts && scene.shapes_made == shapes) continue;
            made += scene.texts_made - texts + scene.shapes_made - shapes;
            const std::vector<std::vector<uint8_t>> after = records_in_use(scene);
            for (size_t k = 0; k < before.size(); ++k) {
                if (before[k].empty()) continue;
                ASSERT_TRUE(before[k] == after[k]) << "sequence " << sequence << ", step " << step << ": record "
                                                   << k << " was in use and a new element changed it";
            }
        }
        // Saved, and opened again as a fresh start: the window as the card.
        ASSERT_TRUE(save_scene_files(scene, app.paths.data, &err)) << err;
        const std::string shown = scene_json(scene);
        fresh_start();
        startup_scene(scene, app.config, app.paths, app.texts, ui.status, &ui, &app.requests);   // every load rule, the configuration's size included
        const Differences d = compare();
        if (d.total() && ++differing <= 3)
            reported += "\nsequence " + std::to_string(sequence) + ": " + summary(d);
        EXPECT_EQ(scene_json(scene), shown) << "sequence " << sequence << ": the scene reopens otherwise";
    }
    std::printf("records: %d sessions, %ld elements made, none over a record in use\n", sequences, made);
    EXPECT_GT(made, sequences);
    EXPECT_EQ(differing, 0) << reported;
}

// The scene's bytes, padding and all, as they lie in memory.
std::vector<unsigned char> bytes_of(const Scene& s) {
    std::vector<unsigned char> out(sizeof s);
    std::memcpy(out.data(), static_cast<const void*>(&s), sizeof s);
    return out;
}

// What only reads the scene leaves it as it was, byte for byte: a frame
// (with something selected), the sign's picture, the stick's script and
// export, the live send's lines, the check before a send, the saved files
// and the JSON dump.
TEST_F(Fidelity_test, DrawingAndEveryOutputLeaveTheSceneUnchanged) {
    Test_app& app = test_app();
    for (uint32_t seed = 500; seed < 530; ++seed) {
        ASSERT_TRUE(load(random_scene(seed))) << seed;
        scene.selected_text = static_cast<uint8_t>(seed % string_draw_count);
        scene.selected_digit_row = static_cast<uint8_t>(seed % digit_groups_in_use);
        scene.selected_digit_col = static_cast<uint8_t>(seed % digit_group_size);
        scene.selected_graph = 0;
        scene.selected_board_col = scene.selected_board_row = 0;
        settle_after_edit(scene);   // as the click that selected them does
        const std::vector<unsigned char> before = bytes_of(scene);

        draw_display(app.frame, screen, scene, ui, app.texts);
        int w, h;
        output_screen_size(scene, &w, &h);
        Led_framebuffer leds(std::max(w, 1), std::max(h, 1));
        Text_files texts;
        texts.folder = app.paths.exe_folder;
        texts.read();
        paint_sign(test_fonts(), scene, leds, texts);
        Script_files files;
        files.text_source_folder = app.paths.scene_folder;
        const std::string script = scene_command_script(scene, files);
        const Export_outcome o = export_to_folder(scene, stick.path(), app.paths.exe_folder, 0);
        const std::vector<Live_line> live = live_scene_lines(scene, true, texts);
        check_scene_for_card(test_fonts(), scene, texts);
        std::string err;
        ASSERT_TRUE(save_scene_files(scene, app.paths.data, &err)) << err;
        scene_json(scene);

        EXPECT_TRUE(before == bytes_of(scene)) << "seed " << seed << " changed the scene";
        EXPECT_TRUE(o.written && !script.empty() && !live.empty()) << seed << ": " << o.message;
    }
}

// Hand-made scenes through the same check; each may act on the editor
// after loading (a zoom).
struct Case {
    const char* name;
    std::function<void(Scene_file&)> make;
    int zooms = 0;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Fidelity_case : public Fidelity_test, public ::testing::WithParamInterface<Case> {};

TEST_P(Fidelity_case, TheWindowShowsWhatTheCardLights) {
    Scene_file s;
    GetParam().make(s);
    ASSERT_TRUE(load(s)) << "scene.conf was not taken";
    for (int k = 0; k < GetParam().zooms; ++k) on_key(ui, scene, 17, 0, 0);   // Ctrl+Q
    const Differences d = compare();
    EXPECT_GT(d.leds, 0) << "no LED of the sign in the window to compare";
    EXPECT_EQ(d.total(), 0) << summary(d);
}

// Element (g, i) of kind at LED (lx, ly) of board (0, 0) of s, at its pitch.
Digit_unit& shape(Scene_file& s, int i, uint8_t kind, int lx, int ly, int width, int height, uint8_t colour = 1) {
    Digit_unit& d = s.digit(5, i);
    d.kind = kind, d.width = width, d.height = height, d.colour = colour, d.pitch = static_cast<uint8_t>(s.pitch);
    s.on_board(lx, ly, &d.x, &d.y);
    return d;
}

string_draw& text(Scene_file& s, int k, const char* utf8, int lx, int ly, int height = 16, int colour = 1) {
    string_draw& t = s.texts[k];
    s.set_text(t, gbk(utf8));
    t.font_size = static_cast<uint8_t>(height), t.colour = colour, t.pitch = s.pitch;
    s.on_board(lx, ly, &t.x, &t.y);
    return t;
}

void file_texts(Scene_file& s, bool files) {
    text(s, 3, "三", 4, 4).text_source = 3;
    text(s, 4, "四", 4, 30, 24, 2).text_source = 4;
    for (int k = 0; k < 2; ++k) s.has_file[k] = files, s.file[k] = gbk(k ? "第四 4\r\nnext" : "文件 three");
}

void circles(Scene_file& s, int pitch) {
    s.pitch = pitch;
    s.grid(1, 1, 128, 64);
    const int radii[] = {1, 2, 3, 5, 8, 13, 20};
    for (int k = 0; k < 7; ++k) shape(s, k, kind_circle, 10 + 16 * k, 30, 0, radii[k], uint8_t(k % 3));
}

const Case cases[] = {
    // Whole LEDs at pitch 2: nothing differs, and the check finds nothing.
    {"ControlPlainShapesAtPitchTwo", [](Scene_file& s) {
         shape(s, 0, kind_hline, 2, 3, 50, 0);
         shape(s, 1, kind_vline, 60, 3, 0, 30, 2);
         shape(s, 2, kind_rect, 70, 10, 40, 20, 0);
         shape(s, 3, kind_block, 5, 40, 0, 6);
         text(s, 6, "Hello 123", 10, 60);
         text(s, 7, "Hi", 100, 90, 32, 2);
         Digit_unit& d = shape(s, 4, kind_digit, 150, 20, 0, 0, 2);
         d.digits = 3, d.param_a = 9, d.param_b = 2;
     }},
    {"BlockOfThreeAtPitchThree", [](Scene_file& s) {
         s.pitch = 3, s.grid(1, 1, 64, 32);
         shape(s, 0, kind_block, 5, 5, 0, 3);
     }},
    {"BlockLeftOfTheBoardZoomedOntoIt", [](Scene_file& s) {
         Digit_unit& d = shape(s, 0, kind_block, 0, 10, 0, 2);
         d.x = 260;   // in the dot grid, left of board 0
     }, 4},
    {"CirclesAtPitchTwo", [](Scene_file& s) { circles(s, 2); }},
    {"CirclesAtPitchThree", [](Scene_file& s) { circles(s, 3); }},
    {"FileTextsWithTheirFiles", [](Scene_file& s) { file_texts(s, true); }},
    {"FileTextsWithoutTheirFiles", [](Scene_file& s) { file_texts(s, false); }},
    {"LeftPanelTextsAtPitchFive", [](Scene_file& s) { s.pitch = 5; }},
    {"ColourSevenOnATextAndALine", [](Scene_file& s) {
         text(s, 6, "温度 25", 3, 3, 16, 7);
         shape(s, 0, kind_hline, 2, 40, 60, 0, 7);
     }},
    {"ColourTwoFiftyFiveOnABlock", [](Scene_file& s) { shape(s, 0, kind_block, 20, 20, 0, 4, 255); }},
    {"SecondBoardColumnZoomed", [](Scene_file& s) {
         s.grid(1, 2, 64, 32);
         shape(s, 0, kind_block, 70, 4, 0, 3, 2);
         shape(s, 1, kind_hline, 66, 20, 40, 0);
         shape(s, 2, kind_rect, 80, 2, 30, 12, 0);
         text(s, 7, "Hi 你好", 100, 14);
     }, 1},
    {"ElementBetweenLeds", [](Scene_file& s) {
         s.pitch = 4, s.grid(1, 1, 64, 32);
         shape(s, 0, kind_block, 6, 6, 0, 3).x += 2;
         shape(s, 1, kind_vline, 20, 2, 0, 20, 2).y += 3;
     }},
    {"BlockPairOnTheBoard", [](Scene_file& s) { shape(s, 0, kind_block_pair, 10, 10, 0, 4); }},
    {"TextOfHeightFourteen", [](Scene_file& s) { text(s, 8, "欢迎 Welcome", 2, 2, 14, 0); }},
    {"BoardInThePaletteMargin", [](Scene_file& s) { Scene_file::place_board(s.board(0, 0), 4, 150, 120, 160); }},
    {"TextAnchoredLeftOfTheBoard", [](Scene_file& s) { text(s, 9, "显示屏 LED", -12, 10, 24, 2); }},
};

INSTANTIATE_TEST_SUITE_P(Scenes, Fidelity_case, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
