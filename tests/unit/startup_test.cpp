// Start-up without a window: executable folder, data paths, configuration
// applied to board 0, and the outline face.
#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "render/outline_font.h"
#include "scene/pools.h"
#include "tests/unit/temp_dir.h"

namespace {

TEST(ExeFolder, EndsWithTheLastSeparatorOfTheWholePath) {
    char out[exe_folder_size];
    std::string err;
    ASSERT_TRUE(derive_exe_folder("/a/b/vantiro", out, sizeof out, &err));
    EXPECT_STREQ(out, "/a/b/");
    // Separators beyond the 100th character count like any other.
    std::string deep = "/" + std::string(150, 'd') + "/x/" + std::string(40, 'e') + "/vantiro";
    ASSERT_TRUE(derive_exe_folder(deep.c_str(), out, sizeof out, &err));
    EXPECT_EQ(std::string(out), deep.substr(0, deep.size() - 7));
    ASSERT_TRUE(derive_exe_folder("vantiro", out, sizeof out, &err));
    EXPECT_STREQ(out, "");
}

TEST(ExeFolder, TooLongIsAnErrorNotACut) {
    char out[16];
    std::string err;
    EXPECT_FALSE(derive_exe_folder("/0123456789abcdef/vantiro", out, sizeof out, &err));
    EXPECT_STREQ(out, "");
    EXPECT_NE(err.find("path:"), std::string::npos);
}

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
}

TEST(DataPaths, AFolderTooLongForTheBuffersIsRejected) {
    Data_paths p;
    std::string err;
    std::string folder = "/" + std::string(280, 'f') + "/";
    EXPECT_FALSE(build_data_paths(folder.c_str(), &p, &err));
    EXPECT_NE(err.find("longer than 299"), std::string::npos) << err;
}

// Runs the window-free start-up for an executable placed in dir.
void start_in(const Temp_dir& dir) {
    std::string err;
    std::string exe = dir.path() + "/vantiro";
    ASSERT_TRUE(startup_paths_and_config(exe.c_str(), &err)) << err;
    EXPECT_EQ(std::string(exe_folder), dir.path() + "/");
    startup_scene();
}

TEST(Startup, MissingConfigurationGivesBoardZeroOfNoSize) {
    Temp_dir dir;
    start_in(dir);
    EXPECT_EQ(board_at(0, 0).width, 0);
    EXPECT_EQ(board_at(0, 0).height, 0);
}

TEST(Startup, WidthAndHeightFromTheConfigurationSizeBoardZero) {
    Temp_dir dir;
    // A saved scene gives board 0 another size; the configuration wins.
    dir.write("leduit.conf", "1\n1\n276\n226\n200\n96\n");
    dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=100\nHEIGHT=48\n");
    start_in(dir);
    EXPECT_EQ(board_at(0, 0).width, 100);
    EXPECT_EQ(board_at(0, 0).height, 48);
    // Only board 0 takes the configured size; the others keep 64 x 32.
    EXPECT_EQ(board_at(0, 1).width, 64);
    EXPECT_EQ(board_at(1, 0).height, 32);

    dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=12abc\nHEIGHT=tall\n");
    start_in(dir);
    EXPECT_EQ(board_at(0, 0).width, 12);
    EXPECT_EQ(board_at(0, 0).height, 0);
}

TEST(Startup, MissingFontFileIsAClearError) {
    std::string err;
    EXPECT_FALSE(startup_open_face("/nonexistent/simsun.ttc", 0, &err));
    EXPECT_NE(err.find("font:"), std::string::npos) << err;
    EXPECT_NE(err.find("fonts-arphic-uming"), std::string::npos) << err;
}

TEST(Startup, FindsASongFaceAndSetsEighteenPixelsPerEm) {
    std::string err;
    ASSERT_TRUE(startup_open_face(nullptr, 0, &err)) << err;
    ASSERT_NE(font_holder.face, nullptr);
    EXPECT_EQ(font_holder.size_w, 36);
    EXPECT_EQ(font_holder.size_h, 36);
    EXPECT_EQ(font_holder.face->size->metrics.y_ppem, 18);
    EXPECT_EQ(font_holder.face->charmap->encoding, FT_ENCODING_UNICODE);
    // The face covers the Chinese board label.
    EXPECT_NE(FT_Get_Char_Index(font_holder.face, 0x5355), 0u);   // 单
}

}  // namespace
