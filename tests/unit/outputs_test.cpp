// The card shows what the editor shows: scenes are exported as cmd.txt,
// run on the card model and compared LED by LED with the editor's own
// picture of them. Then the exact bytes the stick receives.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/outputs.h"
#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "card/card_model.h"
#include "controller/drive_export.h"
#include "controller/font_check.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "temp_dir.h"
#include "ui/keyboard.h"
#include "ui/menus.h"
#include "ui/mouse.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

std::string gbk(const char* utf8) {
    char out[512];
    platform_utf8_to_gbk(utf8, out, sizeof out);
    return out;
}

std::string slurp(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string err;
    if (!platform_read_file(path.c_str(), 1 << 26, &bytes, &err)) return "<" + err + ">";
    return std::string(bytes.begin(), bytes.end());
}

class Output_test : public ::testing::Test {
protected:
    void SetUp() override {
        Test_app& app = test_app();
        set_bitmap_fonts_below(test_fonts(), VANTIRO_FONT_DIR);
        build_layout(scene);
        // The editor's own folder, where my_txt3.txt and my_txt4.txt lie.
        std::snprintf(app.paths.exe_folder, sizeof app.paths.exe_folder, "%s/", dir.path().c_str());
        std::snprintf(app.paths.scene_folder, sizeof app.paths.scene_folder, "%s/", dir.path().c_str());
    }

    // Places boards rows x cols of w x h LEDs side by side from (276, 226)
    // at the current pitch.
    void grid(int rows, int cols, int w, int h) {
        scene.board_rows = rows;
        scene.board_columns = scene.export_columns = cols;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                led_unit& u = scene.board_at(r, c);
                u.width = w, u.height = h;
                u.x = 276 + c * w * scene.dot_pitch, u.y = 226 + r * h * scene.dot_pitch;
            }
    }

    // The card's picture of the exported script, and the editor's picture.
    struct Pictures {
        Led_framebuffer card, editor;
        Card_counts counts;
    };
    Pictures pictures() {
        int w, h;
        output_screen_size(scene, &w, &h);
        Pictures p{Led_framebuffer(w, h), Led_framebuffer(w, h), {}};
        Script_files files;
        files.text_source_folder = dir.path() + "/";
        files.txt_folder = txt.path();
        const std::string script = scene_command_script(scene, files);
        EXPECT_EQ(files.copy_failures, "");
        Card_model card(test_fonts(), w, h);
        card.set_txt_folder(txt.path());
        card.run_script(reinterpret_cast<const uint8_t*>(script.data()), script.size());
        p.card = card.screen;
        p.counts = card.counts;
        render_scene_leds(test_fonts(), scene, test_app().texts, p.editor);
        return p;
    }

    Temp_dir dir, txt;
    std::string file_text[2] = {gbk("文件三 three"), gbk("第四 4")};
};

// LEDs lit in one picture with no LED of the same colour (any lit LED when
// slack is given) within slack LEDs in the other.
std::string differences(const Led_framebuffer& a, const Led_framebuffer& b, int slack) {
    std::string out;
    int shown = 0;
    auto near = [&](const Led_framebuffer& f, int x, int y, uint8_t c) {
        for (int dx = -slack; dx <= slack; ++dx)
            for (int dy = -slack; dy <= slack; ++dy)
                if (f.at(x + dx, y + dy) == c || (slack && f.at(x + dx, y + dy) != Led_framebuffer::dark))
                    return true;
        return false;
    };
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (const auto* pair : {&a, &b}) {
                const Led_framebuffer& one = *pair;
                const Led_framebuffer& other = pair == &a ? b : a;
                const uint8_t c = one.at(x, y);
                if (c != Led_framebuffer::dark && !near(other, x, y, c) && shown++ < 8)
                    out += " (" + std::to_string(x) + "," + std::to_string(y) + ")=" + std::to_string(c) +
                           (pair == &a ? " only on the card" : " only in the editor");
            }
    return out;
}

}  // namespace

// Random scenes of texts (ASCII and GB2312, 12 to 32 dots, with blanks),
// blocks, lines, rectangles, circles, digits and the two file texts, on
// 1 x 1 and 2 x 2 grids at pitch 2 and 3, some on a board's left or top
// edge, one dropped between LEDs with the mouse: the card lights exactly
// the editor's LEDs, circles within one LED. Zooming changes nothing the
// card shows.
TEST_F(Output_test, TheCardShowsWhatTheEditorShows) {
    Test_app& app = test_app();
    dir.write("my_txt3.txt", file_text[0] + "\r\nsecond line");
    dir.write("my_txt4.txt", file_text[1]);
    refresh_text_files(app.texts, app.paths);
    const std::string samples[] = {gbk("Hello World"), gbk("温度 25°C 湿度"), gbk("LED 显示屏"),
                                   gbk("a  b\tc"), gbk("欢迎光临")};
    const uint8_t heights[] = {12, 16, 24, 32};
    const uint8_t kinds[] = {kind_block, kind_hline, kind_circle, kind_vline, kind_rect, kind_digit};
    std::mt19937 rng(20261208);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    struct Layout { int rows, cols, w, h, pitch; bool zoom; };
    const Layout layouts[] = {{1, 1, 128, 64, 2, true}, {2, 2, 64, 32, 2, false}, {2, 2, 64, 32, 3, false},
                              {1, 1, 96, 48, 2, true}};
    for (const Layout& l : layouts) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE("grid " + std::to_string(l.rows) + "x" + std::to_string(l.cols) + " pitch " +
                         std::to_string(l.pitch) + " round " + std::to_string(round));
            reset_scene(scene);
            build_layout(scene);
            set_dot_pitch(scene, l.pitch);
            grid(l.rows, l.cols, l.w, l.h);
            auto place = [&](uint32_t* x, uint32_t* y) {
                const led_unit& u = scene.board_at(pick(0, l.rows - 1), pick(0, l.cols - 1));
                const int lx = pick(0, 3) == 0 ? 0 : pick(0, l.w - 1), ly = pick(0, 3) == 0 ? 0 : pick(0, l.h - 1);
                *x = static_cast<uint32_t>(u.x + lx * l.pitch);
                *y = static_cast<uint32_t>(u.y + ly * l.pitch);
            };
            for (int k = 3; k < 10; ++k) {
                string_draw& s = scene.string_draws[k];
                s.pitch = l.pitch;
                s.font_size = heights[pick(0, 3)];
                s.colour = pick(0, 2);
                if (k > 4) std::snprintf(s.text, sizeof s.text, "%s", samples[pick(0, 4)].c_str());
                place(&s.x, &s.y);
            }
            std::vector<Digit_unit*> circles, others;
            for (int n = 0; n < 14; ++n) {
                Digit_unit& d = scene.digit_at(2 + n / 7, 40 + n % 7);
                d.kind = kinds[pick(0, 5)];
                d.pitch = static_cast<uint8_t>(l.pitch);
                d.colour = static_cast<uint8_t>(pick(0, 2));
                d.width = pick(-8, 40);
                // Blocks up to the size the editor's 8-bit side holds at
                // pitch 3 (beyond it the editor draws them smaller, and a
                // zoom changes their size).
                d.height = d.kind == kind_block ? pick(1, l.zoom ? 85 : 127) : pick(0, 24);
                d.digits = pick(1, 4), d.param_a = pick(5, 14), d.param_b = pick(1, 3);
                d.type_code = pick(0, 1) ? 11 : pick(0, 40);
                place(&d.x, &d.y);
                (d.kind == kind_circle ? circles : others).push_back(&d);
            }
            // The palette rectangle dragged onto board 0 and dropped between LEDs.
            on_mouse(ui, scene, mouse_left, mouse_down, 172, 442);
            on_motion(ui, scene, 276 + 41 + 2, 226 + 21 + 2);
            on_mouse(ui, scene, mouse_left, mouse_up, 276 + 41 + 2, 226 + 21 + 2);
            const Digit_unit& dropped = scene.digit_at(0, 36);
            EXPECT_EQ((dropped.x - 276) % l.pitch, 0u);
            EXPECT_EQ((dropped.y - 226) % l.pitch, 0u);
            others.push_back(&scene.digit_at(0, 36));

            Led_framebuffer unzoomed(0, 0);
            for (int zoomed = 0; zoomed <= (l.zoom ? 1 : 0); ++zoomed) {
                if (zoomed) on_key(ui, scene, 17, 0, 0);   // Ctrl+Q: 2 to 3
                for (Digit_unit* c : circles) c->enabled = 0;
                Pictures exact = pictures();
                EXPECT_EQ(exact.counts.ignored, 0);
                EXPECT_GT(exact.editor.lit_count(), 500);
                EXPECT_EQ(differences(exact.card, exact.editor, 0), "") << (zoomed ? "zoomed" : "");
                for (Digit_unit* c : circles) c->enabled = 1;
                for (Digit_unit* d : others) d->enabled = 0;
                for (string_draw& s : scene.string_draws) s.enabled = 0;
                Pictures round_ones = pictures();
                EXPECT_EQ(differences(round_ones.card, round_ones.editor, 1), "");
                for (Digit_unit* d : others) d->enabled = 1;
                for (string_draw& s : scene.string_draws) s.enabled = 1;
                // The card's picture does not depend on the zoom.
                if (!zoomed) {
                    unzoomed = pictures().card;
                } else {
                    EXPECT_EQ(differences(pictures().card, unzoomed, 0), "") << "the zoom moved something";
                }
            }
        }
    }
}

// cmd.txt and time.txt byte for byte, as the card reads them.
TEST_F(Output_test, TheStickGetsTheCardsBytes) {
    // The empty scene: prologue, screen settings, and the NUL at the end.
    Script_files files;
    EXPECT_EQ(scene_command_script(scene, files),
              std::string("led clearall \r\nled clearall \r\n\r\n\r\nset ld 1  \r\n set pl 2  \r\n"
                          " set soft 64 64 \r\n set chrct in375_h \r\n file save \r\n") + '\0');
    scene.export_columns = 2, scene.panel_type = 2, scene.brightness_level = 3;
    std::string s = scene_command_script(scene, files);
    EXPECT_NE(s.find("set ld 6  \r\n set pl 2  \r\n set soft 64 64 \r\n set chrct p10_h \r\n file save"),
              std::string::npos);
    scene.panel_type = 7;
    EXPECT_EQ(scene_command_script(scene, files).find("set soft"), std::string::npos);
    scene.export_columns = 1, scene.panel_type = 0;

    std::tm t{};
    t.tm_year = 121, t.tm_mon = 2, t.tm_mday = 9, t.tm_hour = 14, t.tm_min = 5, t.tm_sec = 7;
    EXPECT_EQ(time_line(t), "set time 2021 3 9 14 5 7 \r\n ");

    // A text on board 0's left edge (Ctrl+E puts new texts there), and a
    // digit element of module type 11 with its two extra lines.
    string_draw& text = scene.string_draws[5];
    text.x = 276, text.y = 250, text.colour = 1;
    Digit_unit& digit = scene.digit_at(3, 11);
    digit.x = 296, digit.y = 236, digit.colour = 2, digit.type_code = 11;
    digit.digits = 2, digit.param_a = 5, digit.param_b = 1;
    s = scene_command_script(scene, files);
    EXPECT_NE(s.find("\r\n\r\ninsmod 31 800 led key 2 10 5 11 2 5 1 1\r\n \r\r\ninsmod 1031 20 led key 2 4010 5 "
                     "61 2 5 1 1\r\n \r\r\ninsmod 1031 20 led key 2 4010 5 71 2 5 1 1\r\n \r\r\nled 12t 1 0 12 " +
                     gbk("添加文本") + "\r\n set ld"),
              std::string::npos)
        << s;

    // A 512-byte text gets its whole line.
    std::memset(text.text, 'W', 511);
    text.text[511] = '\0';
    EXPECT_NE(scene_command_script(scene, files).find("led 12t 1 0 12 " + std::string(511, 'W') + "\r\n "),
              std::string::npos);
}

// A FIFO in place of my_txt3.txt (nobody writing to it) is refused at once:
// the text counts as without its file, and nothing waits.
TEST_F(Output_test, AFifoForATextFileIsRefusedAtOnce) {
    Test_app& app = test_app();
    ASSERT_EQ(mkfifo((dir.path() + "/my_txt3.txt").c_str(), 0644), 0);
    dir.write("my_txt4.txt", "four");
    refresh_text_files(app.texts, app.paths);
    EXPECT_TRUE(text_file_missing(app.texts, 3));
    EXPECT_FALSE(text_file_missing(app.texts, 4));
}

// The card's log opens only a regular file: a FIFO, a link and a folder are
// refused at once with their reason; a file is appended to.
TEST_F(Output_test, ALogIsAppendedToARegularFileOnly) {
    const std::string fifo = dir.path() + "/fifo", link = dir.path() + "/link", file = dir.path() + "/card.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    std::string err;
    for (const std::string& path : {fifo, link, dir.path()}) {
        EXPECT_EQ(platform_open_log(path.c_str(), &err), nullptr) << path;
        EXPECT_NE(err.find(path), std::string::npos) << err;
    }
    dir.write("card.log", "first\n");
    std::FILE* f = platform_open_log(file.c_str(), &err);
    ASSERT_NE(f, nullptr) << err;
    std::fputs("second\n", f);
    std::fclose(f);
    EXPECT_EQ(slurp(file), "first\nsecond\n");
}

// Into a folder that stands for the stick, and what the operator is told:
// the tree, a file that cannot be written (the old script stays), no drive.
TEST_F(Output_test, TheExportSaysWhatHappened) {
    Test_app& app = test_app();
    Temp_dir stick;
    string_draw& file_text3 = scene.string_draws[3];
    file_text3.x = 300, file_text3.y = 250;   // my_txt3.txt is not there
    std::snprintf(app.config.export_folder, sizeof app.config.export_folder, "%s", stick.path().c_str());
    toolbar_action(ui, scene, toolbar_download);   // no application hook: says so
    EXPECT_NE(std::string(ui.status.text()).find("export:"), std::string::npos);

    ui.requests = &app.requests;
    toolbar_action(ui, scene, toolbar_download);
    // Without its file the card would show nothing there: no line, and said.
    std::string cmd = slurp(stick.path() + "/ledsys/CMD/cmd.txt");
    EXPECT_EQ(cmd.substr(0, 14), "led clearall \r");
    EXPECT_EQ(cmd.find("led txt"), std::string::npos);
    EXPECT_EQ(slurp(stick.path() + "/ledsys/init/time.txt").substr(0, 9), "set time ");
    char expected[600];
    platform_gbk_to_utf8(ui.status.text(), expected, sizeof expected);
    EXPECT_EQ(std::string(expected), "exported to " + stick.path() +
                                         "/ledsys; card: shows nothing for text 3 (my_txt3.txt is missing beside the editor)");
    dir.write("my_txt3.txt", "x");
    toolbar_action(ui, scene, toolbar_download);
    cmd = slurp(stick.path() + "/ledsys/CMD/cmd.txt");
    EXPECT_NE(cmd.find("led txt 3 0 12 12 64 12 20\r\n "), std::string::npos);
    EXPECT_EQ(slurp(stick.path() + "/ledsys/TXT/my_txt3.txt"), "x");

    // A write that fails leaves the old script whole and is said.
    file_text3.x = 310;
    for (int k = 0; k < 12; ++k) {
        Export_outcome o;
        {
            const Injected_write_failure no_room(k);
            o = export_scene(test_fonts(), scene, app.config, app.paths, app.texts, ui.status);
        }
        if (o.written) break;
        EXPECT_NE(o.message.find("export:"), std::string::npos) << k;
        const std::string now = slurp(stick.path() + "/ledsys/CMD/cmd.txt");
        EXPECT_TRUE(now == cmd || now.find("led txt 3 0 17 12") != std::string::npos) << k;
    }

    // A link planted on the stick (ledsys, or a folder in it) is never
    // written through, and a file where a folder belongs stops the export:
    // through the download entry and through vantiro-cli.
    for (const char* planted : {"ledsys", "ledsys/CMD", "ledsys/init", "ledsys/TXT", "ledsys/CMD/cmd.txt"}) {
        Temp_dir hostile, elsewhere;
        std::filesystem::create_directories(hostile.path() + "/ledsys/CMD");
        if (std::string(planted) != "ledsys/CMD/cmd.txt") std::filesystem::remove(hostile.path() + "/ledsys/CMD");
        if (std::string(planted) == "ledsys") std::filesystem::remove(hostile.path() + "/ledsys");
        const std::string at = hostile.path() + "/" + planted;
        const bool a_file = std::string(planted).find(".txt") != std::string::npos;
        std::filesystem::create_directories(elsewhere.path() + "/inside");
        std::filesystem::create_symlink(elsewhere.path() + (a_file ? "/file" : "/inside"), at);
        std::snprintf(app.config.export_folder, sizeof app.config.export_folder, "%s", hostile.path().c_str());
        const Export_outcome o = export_scene(test_fonts(), scene, app.config, app.paths, app.texts, ui.status);
        EXPECT_EQ(o.written, a_file) << planted << ": " << o.message;   // a link named cmd.txt is replaced
        if (!a_file) {
            EXPECT_NE(o.message.find(at + " is a link; nothing is written through it"), std::string::npos)
                << o.message;
        }
        const Command_run r = run_command(std::string(VANTIRO_CLI) + " export " + hostile.path() + " " + dir.path());
        EXPECT_EQ(r.status == 0, a_file) << planted << ": " << r.output;
        // Nothing landed where the link points.
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path() + "/inside")) << planted;
        EXPECT_FALSE(std::filesystem::exists(elsewhere.path() + "/file")) << planted;
    }
    // A temporary an export cut short left on the stick is gone after the next.
    std::snprintf(app.config.export_folder, sizeof app.config.export_folder, "%s", stick.path().c_str());
    stick.write("ledsys/CMD/cmd.txt.tmp-x1Y2z3", "half a script");
    EXPECT_TRUE(export_scene(test_fonts(), scene, app.config, app.paths, app.texts, ui.status).written);
    EXPECT_FALSE(std::filesystem::exists(stick.path() + "/ledsys/CMD/cmd.txt.tmp-x1Y2z3"));
    Temp_dir blocked;
    blocked.write("ledsys", "a file");
    std::snprintf(app.config.export_folder, sizeof app.config.export_folder, "%s", blocked.path().c_str());
    EXPECT_NE(export_scene(test_fonts(), scene, app.config, app.paths, app.texts, ui.status).message.find("ledsys: a file of that name is in the way"), std::string::npos);

    // No folder set and no removable drive: nothing is written anywhere.
    Temp_dir fake;
    fake.write("mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
    const Drive_roots_for_test fake_roots(fake.path() + "/mountinfo", fake.path());
    app.config.export_folder[0] = '\0';
    EXPECT_FALSE(export_scene(test_fonts(), scene, app.config, app.paths, app.texts, ui.status).drive_found);
    platform_gbk_to_utf8(ui.status.text(), expected, sizeof expected);
    EXPECT_STREQ(expected, "export: no removable drive is mounted");
}

// Through vantiro-cli in fresh processes: export of a saved scene, play of
// its cmd.txt and render of the scene give the same PNG bytes.
TEST_F(Output_test, PlayAndRenderWriteTheSamePicture) {
    Test_app& app = test_app();
    std::string err;
    ASSERT_TRUE(use_folder(app.paths, dir.path(), &err)) << err;
    dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=96\nHEIGHT=40\n");
    std::filesystem::create_directory_symlink(std::string(VANTIRO_FONT_DIR) + "/../..", dir.path() + "/Font");
    grid(1, 1, 96, 40);
    string_draw& s = scene.string_draws[6];
    s.x = 276 + 2 * 3, s.y = 226 + 2 * 4, s.font_size = 16, s.colour = 1;
    std::snprintf(s.text, sizeof s.text, "%s", gbk("早上好 Hi").c_str());
    Digit_unit& r = scene.digit_at(4, 50);
    r.kind = kind_rect, r.x = 276, r.y = 226, r.width = 95, r.height = 39, r.colour = 2;
    Digit_unit& d = scene.digit_at(4, 51);
    d.kind = kind_digit, d.x = 276 + 2 * 70, d.y = 226 + 2 * 20, d.digits = 3, d.param_a = 9, d.param_b = 2;
    // The left panel's text 3 on the sign, with no my_txt3.txt: left out, and said.
    string_draw& panel_text3 = scene.string_draws[3];
    ASSERT_EQ(panel_text3.text_source, 3);
    panel_text3.x = 276 + 2 * 40, panel_text3.y = 226 + 2 * 26;
    ASSERT_TRUE(save_scene_files(scene, app.paths.data, &err)) << err;

    Temp_dir out;
    const std::string cli = VANTIRO_CLI;
    auto run = [](const std::string& command) {   // a command that must succeed
        const Command_run done = run_command(command);
        EXPECT_EQ(done.status, 0) << command << ": " << done.output;
        return done.output;
    };
    const std::string exported = run(cli + " export " + out.path() + " " + dir.path());
    EXPECT_NE(exported.find("export: card: shows nothing for text 3 (my_txt3.txt is missing beside the editor)"),
              std::string::npos) << exported;
    const std::string played = run(cli + " play " + out.path() + "/ledsys/CMD/cmd.txt --width 96 --height 40 --png " +
                                   out.path() + "/play.png");
    const std::string rendered = run(cli + " render " + dir.path() + " --png " + out.path() + "/render.png");
    EXPECT_NE(played.find(" 0 lines ignored"), std::string::npos) << played;
    const std::string a = slurp(out.path() + "/play.png"), b = slurp(out.path() + "/render.png");
    EXPECT_GT(a.size(), 100u);
    EXPECT_TRUE(a == b) << played << rendered;
    // Both say how many LEDs are lit, and it is the same number.
    const std::string lit = played.substr(played.rfind(", ") + 2);
    EXPECT_EQ(rendered.substr(0, rendered.find(" on ")), lit.substr(0, lit.find('\n')));
    // Pictures beyond 2048 x 2048 LEDs are refused at once, before any is made.
    auto refused = [](const std::string& command) {   // a command that must fail
        const Command_run done = run_command(command);
        EXPECT_NE(done.status, 0) << command;
        return done.output;
    };
    EXPECT_NE(refused(cli + " play " + out.path() + "/ledsys/CMD/cmd.txt --width 16384 --height 16384 --png " +
                      out.path() + "/huge.png")
                  .find("cli: png: a picture of 16384 x 16384 LEDs is beyond"),
              std::string::npos);
    // (A scene with no saved boards takes the configuration's size.)
    std::filesystem::remove(dir.path() + "/leduit.conf");
    std::filesystem::remove(dir.path() + "/scene.conf");
    dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=65535\nHEIGHT=65535\n");
    EXPECT_NE(refused(cli + " render " + dir.path() + " --png " + out.path() + "/huge.png").find("is beyond the"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out.path() + "/huge.png"));
    // A FIFO given as a script, a text folder's file or a flash image is refused at once: nothing waits.
    ASSERT_EQ(mkfifo((out.path() + "/fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((out.path() + "/my_txt3.txt").c_str(), 0644), 0);
    EXPECT_NE(refused(cli + " play " + out.path() + "/fifo --width 8 --height 8 --png " + out.path() + "/f.png")
                  .find("not a regular file"),
              std::string::npos);
    EXPECT_NE(refused(cli + " replay " + out.path() + "/fifo " + dir.path()).find("not a regular file"),
              std::string::npos);
    dir.write("txt.txt", "led txt 3 1 0 0 8 12 20\n");
    run(cli + " play " + dir.path() + "/txt.txt --width 8 --height 8 --txt " + out.path() + " --png " +
        out.path() + "/t.png");

    // An empty script runs nothing and lights nothing (and reads no bytes).
    dir.write("empty.txt", "");
    EXPECT_NE(run(cli + " play " + dir.path() + "/empty.txt --width 4 --height 4 --png " + out.path() + "/e.png")
                  .find("0 lines run, 0 lines ignored, 0 LEDs lit"),
              std::string::npos);
}

// Before a text goes out, characters the card would show as gaps are named:
// a glyph beyond the end of the font file, an empty glyph, a character
// outside GB2312. Texts that can be shown, and texts off the boards, are
// not mentioned.
TEST_F(Output_test, TheFontCheckNamesWhatTheCardCannotShow) {
    Test_app& app = test_app();
    std::string hzk16 = slurp(std::string(VANTIRO_FONT_DIR) + "/HZK/16/HZK16C");
    ASSERT_GT(hzk16.size(), 1412u * 32);
    hzk16.resize(1411 * 32);                                // 阿 (B0A2, glyph 1411) is beyond the end
    std::fill(hzk16.begin() + 1410 * 32, hzk16.end(), '\0');   // 啊 (B0A1, glyph 1410) is empty
    set_bitmap_font_path(test_fonts(), font_hzk16, dir.write("HZK16C", hzk16).c_str());
    string_draw& s = scene.string_draws[6];
    s.x = 300, s.y = 250, s.font_size = 16;
    std::snprintf(s.text, sizeof s.text, "%s", (gbk("A 啊阿") + "\x81\x40" + gbk("、")).c_str());
    EXPECT_EQ(check_scene_for_card(test_fonts(), scene, app.texts), "font: the card shows gaps in \"A 啊阿丂、\" (16 dots): no glyph for 啊阿丂");
    std::snprintf(s.text, sizeof s.text, "%s", gbk("Ab 12").c_str());
    EXPECT_EQ(check_scene_for_card(test_fonts(), scene, app.texts), "");
    std::snprintf(s.text, sizeof s.text, "%s", gbk("阿").c_str());
    s.x = 100;   // off the boards: not sent, not checked
    EXPECT_EQ(check_scene_for_card(test_fonts(), scene, app.texts), "");
}
