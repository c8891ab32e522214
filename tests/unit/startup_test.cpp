// Start-up without a window: executable folder, data paths, configuration
// applied to board 0, and the outline face.
#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <tuple>

#include "app/scene_files/scene_files.h"
#include "app/startup.h"
#include "command/commands.h"
#include "render/outline_font.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "ui/keyboard.h"
#include "tests/unit/temp_dir.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

using std::make_tuple;

// The folder ends at the last separator of the whole path; too long is an error, not a cut.
TEST(ExeFolder, EndsWithTheLastSeparatorOfTheWholePath) {
    const std::string deep = "/" + std::string(150, 'd') + "/x/" + std::string(40, 'e') + "/vantiro";
    const struct { std::string path; size_t room; bool ok; std::string want; } cases[] = {
        {"/a/b/vantiro", exe_folder_size, true, "/a/b/"},
        {deep, exe_folder_size, true, deep.substr(0, deep.size() - 7)},   // separators past the 100th count
        {"vantiro", exe_folder_size, true, ""},
        {"/0123456789abcdef/vantiro", 16, false, ""},
    };
    for (const auto& c : cases) {
        char out[exe_folder_size];
        std::string err;
        EXPECT_EQ(derive_exe_folder(c.path.c_str(), out, c.room, &err), c.ok) << c.path;
        EXPECT_EQ(std::string(out), c.want) << c.path;
        EXPECT_EQ(err.find("path:") != std::string::npos, !c.ok) << err;
    }
}

// Data paths are the folder plus fixed tails; a folder too long for them is refused.
TEST(DataPaths, AreTheFolderPlusFixedTails) {
    Data_paths p;
    std::string err;
    ASSERT_TRUE(build_data_paths("/opt/v/", &p, &err));
    EXPECT_STREQ(p.hzk12, "/opt/v/Font/fonts/font_libs/HZK/12/HZK12");
    EXPECT_STREQ(p.hzk16, "/opt/v/Font/fonts/font_libs/HZK/16/HZK16C");
    EXPECT_STREQ(p.asc24, "/opt/v/Font/fonts/font_libs/ASC/ASC24_12");
    EXPECT_STREQ(p.asc32, "/opt/v/Font/fonts/font_libs/ASC/ASC32_16");
    EXPECT_STREQ(p.spi_data, "/opt/v/spi_data.bin");
    EXPECT_STREQ(p.grape_conf, "/opt/v/grape.conf");
    EXPECT_STREQ(p.config, "/opt/v/SysCfg.ini");
    EXPECT_FALSE(build_data_paths(("/" + std::string(280, 'f') + "/").c_str(), &p, &err));
    EXPECT_NE(err.find("longer than 299"), std::string::npos) << err;
}

// Runs the window-free start-up for an executable placed in dir.
void start_in(const Temp_dir& dir) {
    Test_app& app = test_app();
    std::string err;
    std::string exe = dir.path() + "/vantiro";
    ASSERT_TRUE(startup_paths_and_config(exe.c_str(), &app.paths, &app.config, test_fonts(), test_ui().status, &err)) << err;
    EXPECT_EQ(std::string(app.paths.exe_folder), dir.path() + "/");
    startup_scene(scene, app.config, app.paths, app.texts, ui.status, &ui, &app.requests);
}

// The configured size (leading digits) sizes board 0, over the saved scene, and with it every board
// of the grid, laid out side by side from board 0; none gives 0 x 0.
TEST(Startup, TheConfigurationSizesBoardZeroOfANewSceneOnly) {
    Temp_dir dir;
    start_in(dir);
    EXPECT_EQ(make_tuple(scene.board_at(0, 0).width, scene.board_at(0, 0).height), make_tuple(0, 0));

    // No saved scene: WIDTH and HEIGHT give the boards' size.
    const struct { const char* ini; int width, height; } cases[] = {
        {"[LEDPARA]\nWIDTH=100\nHEIGHT=48\n", 100, 48}, {"[LEDPARA]\nWIDTH=12abc\nHEIGHT=tall\n", 12, 0}};
    for (const auto& c : cases) {
        dir.write("SysCfg.ini", c.ini);
        start_in(dir);
        const led_unit &b = scene.board_at(0, 0), &right = scene.board_at(0, 1), &below = scene.board_at(1, 0);
        EXPECT_EQ(make_tuple(b.width, b.height, right.width, below.height),
                  make_tuple(c.width, c.height, c.width, c.height))
            << c.ini;
        EXPECT_EQ(make_tuple(right.x, right.y, below.x, below.y),
                  make_tuple(276 + 2 * c.width, 226, 276, 226 + 2 * c.height)) << c.ini;
    }
    // A saved scene reopens with the size it was saved with (what the
    // window showed, the size keys' included), whatever the configuration.
    dir.write("leduit.conf", "1\n1\n276\n226\n200\n96\n");
    start_in(dir);
    EXPECT_EQ(make_tuple(scene.board_at(0, 0).width, scene.board_at(0, 0).height), make_tuple(200, 96));
}

// A Song face is found and set to 18 pixels per em, covering 单; a missing file is a clear error.
TEST(Startup, FindsASongFaceAndSetsEighteenPixelsPerEm) {
    std::string err;
    const auto font = std::make_unique<Outline_font>();
    const Font_holder& font_holder = font->holder;
    EXPECT_FALSE(startup_open_face(*font, "/nonexistent/simsun.ttc", 0, &err));
    EXPECT_NE(err.find("font:"), std::string::npos) << err;
    EXPECT_NE(err.find("fonts-arphic-uming"), std::string::npos) << err;
    ASSERT_TRUE(startup_open_face(*font, nullptr, 0, &err)) << err;
    ASSERT_NE(font_holder.face, nullptr);
    EXPECT_EQ(make_tuple(font_holder.size_w, font_holder.size_h, int(font_holder.face->size->metrics.y_ppem)),
              make_tuple(36, 36, 18));
    EXPECT_EQ(font_holder.face->charmap->encoding, FT_ENCODING_UNICODE);
    EXPECT_NE(FT_Get_Char_Index(font_holder.face, 0x5355), 0u);   // 单
}

}  // namespace

// Text records never filled sit where a grid of many boards reaches: on
// the full 6 x 4 sign they are neither drawn, clicked nor written, and
// after a save and a new start they stay so; a text the operator made is
// not taken for one, and a text Ctrl+E makes is drawn.
TEST(Startup, TextsNeverFilledStayOffTheFullSign) {
    Temp_dir dir;
    dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=256\nHEIGHT=128\n");
    for (int start = 0; start < 2; ++start) {
        start_in(dir);
        scene.board_columns = scene.export_columns = max_board_columns;
        scene.board_rows = max_board_rows;
        lay_out_boards(scene);
        settle_positions_on_sign(scene);
        int32_t led_x, led_y;
        ASSERT_TRUE(sign_led(scene, 1000, 1000, scene.dot_pitch, &led_x, &led_y));   // the records' place is on it
        const std::string script = script_of(scene);
        EXPECT_EQ(script.find("\xCC\xED\xBC\xD3"), std::string::npos) << "start " << start;   // "添加"
        EXPECT_EQ(script.find("led t"), std::string::npos) << script;
        std::string err;
        ASSERT_TRUE(save_scene_files(scene, test_app().paths.data, &err)) << err;
    }
    // A text the operator made that reads as the placeholder, in its size
    // and colour (a script's text command), is the operator's: it comes
    // back after a save and a new start.
    ASSERT_TRUE(add_text_element(scene, ui.status, 0, 12, 0, 4, 4, "\xCC\xED\xBC\xD3\xCE\xC4\xB1\xBE", 8));
    std::string err;
    ASSERT_TRUE(save_scene_files(scene, test_app().paths.data, &err)) << err;
    start_in(dir);
    EXPECT_NE(script_of(scene).find("\xCC\xED\xBC\xD3"), std::string::npos) << script_of(scene);
    on_key(ui, scene, 5, 0, 0);   // Ctrl+E
    EXPECT_NE(script_of(scene).find("Txt"), std::string::npos);
}
