// Dot-matrix text: glyph indexes, every file layout (through small fonts
// written by the test), the rasteriser's rules, the text element draws,
// and the font files generated at build time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "render/bitmap_font.h"
#include "render/led_dots.h"
#include "tests/unit/sink_fixture.h"
#include "tests/unit/temp_dir.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

using Dots = std::set<std::pair<int, int>>;
using std::make_tuple;

// Glyph indexes: GB2312 rows from 0xA1 (symbols first), ASCII from the blank.
TEST(GlyphIndex, DoubleAndSingleByte) {
    EXPECT_EQ(double_byte_index(0xB0, 0xA1), 1410);   // 啊, first hanzi
    EXPECT_EQ(double_byte_index(0xA1, 0xA1), 0);
    EXPECT_EQ(double_byte_index(0xF7, 0xFE), 8177);   // last GB2312 glyph
    EXPECT_EQ(single_byte_index(' '), 0);
    EXPECT_EQ(single_byte_index('A'), 33);
    EXPECT_LT(single_byte_index(0x80), 0);            // taken as signed: nothing to draw
}

// A font file of `count` glyphs of `size` bytes, all zero except the bytes
// given for glyph `index`.
std::string font_file(const Temp_dir& dir, const char* name, int size, int count, int index,
                      const std::vector<std::pair<int, uint8_t>>& bytes) {
    std::string data(static_cast<size_t>(size) * count, '\0');
    for (auto [at, value] : bytes) data[static_cast<size_t>(index) * size + at] = static_cast<char>(value);
    return dir.write(name, data);
}

class Text_test : public Sink_test {
protected:
    void SetUp() override {
        Sink_test::SetUp();
        for (int id = 0; id < bitmap_font_count; ++id)
            set_bitmap_font_path(test_fonts(), id, (dir.path() + "/absent").c_str());
    }
    Temp_dir dir;
};

// Each file layout puts a glyph's bit in its dot: row-major (HZK12/16, ASC12) or 8 rows a byte by column.
TEST_F(Text_test, EveryLayoutPutsItsBitsInPlace) {
    const struct { int id, height, size, count, index, byte; uint8_t value; const char* text; int col, row; }
        cases[] = {
        {font_hzk12, 12, 24, 1411, 1410, 3 * 2 + 1, 0x20, "\xB0\xA1", 10, 3},
        {font_hzk16, 16, 32, 1411, 1410, 15 * 2, 0x80, "\xB0\xA1", 0, 15},
        {font_asc12, 12, 12, 96, 33, 5, 0x01, "A", 7, 5},
        {font_hzk24, 24, 72, 1411, 1410, 3 * 5 + 2, 0x40, "\xB0\xA1", 5, 16 + 1},
        {font_hzk32, 32, 128, 1411, 1410, 4 * 31 + 3, 0x40, "\xB0\xA1", 31, 24 + 1},
        {font_asc16, 16, 16, 96, 33, 2 * 7 + 1, 0x40, "A", 7, 8 + 1},
        {font_asc24, 24, 36, 96, 33, 3 * 11 + 0, 0x40, "A", 11, 1},
        {font_asc32, 32, 64, 96, 33, 4 * 2 + 2, 0x40, "A", 2, 16 + 1},
    };
    for (const auto& c : cases) {
        sink.clear();
        const std::string name = "f" + std::to_string(c.id);
        const std::string file = font_file(dir, name.c_str(), c.size, c.count, c.index, {{c.byte, c.value}});
        set_bitmap_font_path(test_fonts(), c.id, file.c_str());
        draw_text_bitmap(test_fonts(), editor_ref(), static_cast<uint8_t>(c.height), 0, 300, 200, c.text);
        EXPECT_EQ(lit(), (Dots{{300 + c.col * 2, 200 + c.row * 2}})) << "font " << c.id;
    }
}

// The pen advances a half or whole cell per character; line ends take none; height 20 draws nothing.
TEST_F(Text_test, AdvancesSkipsAndEnds) {
    std::string asc(16 * 96, '\0');   // every ASC16 glyph and HZK16 glyph 1410 light their top-left dot
    for (int g = 0; g < 96; ++g) asc[static_cast<size_t>(g) * 16] = static_cast<char>(0x80);
    set_bitmap_font_path(test_fonts(), font_asc16, dir.write("a16", asc).c_str());
    set_bitmap_font_path(test_fonts(), font_hzk16, font_file(dir, "h16", 32, 1411, 1410, {{0, 0x80}}).c_str());
    const struct { int height; const char* text; Dots want; } cases[] = {
        {16, "A1B", {{300, 200}, {316, 200}, {332, 200}}},
        {16, "A\n\rB", {{300, 200}, {316, 200}}},
        {16, "\xB0\xA1" "A\xB0", {{300, 200}, {332, 200}}},
        {16, "\x80" "A", {{316, 200}}},
        {20, "A\xB0\xA1", {}},
    };
    for (const auto& c : cases) {
        sink.clear();
        draw_text_bitmap(test_fonts(), editor_ref(), static_cast<uint8_t>(c.height), 0, 300, 200, c.text);
        EXPECT_EQ(lit(), c.want) << c.height << " \"" << c.text << '"';
    }
}

// 14-dot text draws 12-dot hanzi (columns to 11), skips ASCII, advances 14; a missing font draws blanks.
TEST_F(Text_test, FourteenDotTextUsesTwelveDotGlyphsAtTwoPixels) {
    std::vector<std::pair<int, uint8_t>> bits = {{0, 0x80}, {1, 0x18}, {11 * 2, 0x80}};  // cols 0, 11, 12; row 11
    set_bitmap_font_path(test_fonts(), font_hzk12, font_file(dir, "h12", 24, 1411, 1410, bits).c_str());
    set_dot_pitch(scene, 4);
    draw_text_bitmap(test_fonts(), editor_ref(), 14, 0, 300, 200, "\xB0\xA1" "A\xB0\xA1");
    // Column 11 is drawn, column 12 is not; ASCII is skipped; the second glyph starts 14 dots later.
    EXPECT_EQ(lit(), (Dots{{300, 200}, {300 + 22, 200}, {300, 222}, {356, 200}, {356 + 22, 200}, {356, 222}}));

    sink.clear();   // a missing font (no HZK12 now) blanks its characters, which still advance
    set_dot_pitch(scene, 2);
    set_bitmap_font_path(test_fonts(), font_hzk12, (dir.path() + "/absent").c_str());
    set_bitmap_font_path(test_fonts(), font_asc12, font_file(dir, "a12", 12, 96, 33, {{0, 0x80}}).c_str());
    draw_text_bitmap(test_fonts(), editor_ref(), 12, 0, 300, 200, "\xB0\xA1" "A");
    EXPECT_EQ(lit(), (Dots{{324, 200}}));
}

// A folder or a link to an endless device in place of a font lights nothing and says why;
// the largest index a pair of bytes can give (0x9F 0x9F) still lies within what is read.
TEST_F(Text_test, FoldersAndDevicesAreRefusedAndTheWholeTableIsRead) {
    const std::string zero = dir.path() + "/zero", folder = dir.path() + "/folder";
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const struct { int id; std::string path; const char *text, *why; } cases[] = {
        {font_asc16, zero, "A", " is not a regular file"},
        {font_hzk16, zero, "\xB0\xA1", " is not a regular file"},
        {font_hzk16, folder, "\xB0\xA1", " is a folder, not a file"},
    };
    for (const auto& c : cases) {
        sink.clear();
        set_bitmap_font_path(test_fonts(), c.id, c.path.c_str());
        testing::internal::CaptureStderr();
        draw_text_bitmap(test_fonts(), editor_ref(), 16, 0, 300, 200, c.text);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(lit(), Dots{}) << c.path;
        EXPECT_NE(said.find("font: " + c.path + c.why), std::string::npos) << said;
    }
    const int last = double_byte_index(0x9F, 0x9F);
    set_bitmap_font_path(test_fonts(), font_hzk16, font_file(dir, "h16", 32, last + 1, last, {{0, 0x80}}).c_str());
    draw_text_bitmap(test_fonts(), editor_ref(), 16, 0, 300, 200, "\x9F\x9F");
    EXPECT_EQ(lit(), (Dots{{300, 200}}));
}

// Text elements follow the pitch in the grid as the edit settles them; selected ones get a frame
// and caret, and their box width; disabled, nothing.
TEST_F(Text_test, TextElementsFollowThePitchAndDrawTheirFrame) {
    string_draw& s = scene.string_draws[5];   // "添加文本", 12 dots, length 8
    s.x = 300, s.y = 200, s.pitch = 2, s.height = 40;
    settle_after_edit(scene);
    draw_text(s, false);
    EXPECT_EQ(make_tuple(s.height, s.width, sink.loops.size()), make_tuple(12, 64, 0u));

    set_dot_pitch(scene, 3);
    scene.selected_text = 5;
    settle_after_edit(scene);
    draw_text(s, true);
    // Column 25, row 30 at the new pitch; 6 x 8 dots wide.
    EXPECT_EQ(make_tuple(s.x, s.y, s.width), make_tuple(250u + 25 * 3, 140u + 30 * 3, 48));
    ASSERT_EQ(make_tuple(sink.loops.size(), sink.segments.size()), make_tuple(1u, 1u));
    EXPECT_EQ(make_tuple(sink.loops[0].stippled, sink.loops[0].xy[2], sink.loops[0].xy[5]),
              make_tuple(true, float(s.x + 48 * 3), float(s.y + 12 * 3)));
    // The caret, white, after the text.
    EXPECT_EQ(make_tuple(sink.segments[0].xy[0], sink.segments[0].r), make_tuple(float(s.x + 6 * 3 * 8), 1.0f));

    s.enabled = 0;
    sink.clear();
    draw_text(s, false);
    draw_text(s, true);
    EXPECT_TRUE(sink.loops.empty() && sink.dots.empty());

    string_draw& p = scene.string_draws[6];   // a left-panel text keeps its place when zooming
    p.x = 85, p.y = 535, p.pitch = 2;
    set_dot_pitch(scene, 4);
    settle_after_edit(scene);
    EXPECT_EQ(make_tuple(p.x, p.y), make_tuple(85u, 535u));
    scene.selected_text = 6;
    settle_after_edit(scene);
    EXPECT_EQ(p.x, 85u);
}

std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool blank(const std::vector<uint8_t>& f, int size, int index) {
    for (int i = 0; i < size; ++i)
        if (f.at(static_cast<size_t>(index) * size + i)) return false;
    return true;
}

// The generated files have their sizes, 啊 and A drawn, blanks blank, and narrow fonts' spare bits clear.
TEST(GeneratedFonts, HaveTheirLayoutsSizesAndGlyphs) {
    const std::string dir = VANTIRO_FONT_DIR;
    const int unassigned = double_byte_index(0xAA, 0xA1);
    const struct { const char* name; int glyph_bytes, glyphs, drawn; std::vector<int> blanks; } files[] = {
        {"/HZK/12/HZK12", 24, 8178, 1410, {0, unassigned}},   // 啊; the ideographic space, an unassigned row
        {"/HZK/16/HZK16C", 32, 8178, 1410, {0, unassigned}},
        {"/HZK/24/HZK24", 72, 8178, 1410, {0, unassigned}},
        {"/HZK/32/HZK32", 128, 8178, 1410, {0, unassigned}},
        {"/ASC/ASC12_8", 12, 96, 'A' - 32, {0}},   // A; the space
        {"/ASC/ASC16_8", 16, 96, 'A' - 32, {0}},
        {"/ASC/ASC24_12", 36, 96, 'A' - 32, {0}},
        {"/ASC/ASC32_16", 64, 96, 'A' - 32, {0}},
    };
    for (const auto& f : files) {
        const std::vector<uint8_t> data = read_all(dir + f.name);
        ASSERT_EQ(data.size(), static_cast<size_t>(f.glyph_bytes) * f.glyphs) << f.name;
        EXPECT_FALSE(blank(data, f.glyph_bytes, f.drawn)) << f.name;
        for (int index : f.blanks) EXPECT_TRUE(blank(data, f.glyph_bytes, index)) << f.name << " " << index;
    }
    // ASC12_8 is 6 dots wide: the two low bits of every row stay clear.
    for (uint8_t b : read_all(dir + "/ASC/ASC12_8")) ASSERT_EQ(b & 0x03, 0);
    // HZK12 is 12 dots wide: the low nibble of each row's second byte is clear.
    const std::vector<uint8_t> h12 = read_all(dir + "/HZK/12/HZK12");
    for (size_t i = 1; i < h12.size(); i += 2) ASSERT_EQ(h12[i] & 0x0F, 0);
}

}  // namespace
