// Dot-matrix text: glyph indexes, every file layout (through small fonts
// written by the test), the rasteriser's rules, the text element draws,
// and the font files generated at build time.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "render/bitmap_font.h"
#include "tests/unit/sink_fixture.h"
#include "tests/unit/temp_dir.h"

namespace {

using Dots = std::set<std::pair<int, int>>;

TEST(GlyphIndex, DoubleAndSingleByte) {
    EXPECT_EQ(double_byte_index(0xB0, 0xA1), 1410);   // 啊, first hanzi
    EXPECT_EQ(double_byte_index(0xA1, 0xA1), 0);      // the files start with the symbols
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
            set_bitmap_font_path(id, (dir.path() + "/absent").c_str());
    }
    Temp_dir dir;
};

TEST_F(Text_test, RowMajorLayoutsReadMostSignificantBitFirst) {
    // HZK12 glyph 1410: row 3, byte 1, bit 2 -> column 10, row 3.
    set_bitmap_font_path(font_hzk12, font_file(dir, "h12", 24, 1411, 1410, {{3 * 2 + 1, 0x20}}).c_str());
    draw_text_bitmap(12, 0, 300, 200, "\xB0\xA1");
    EXPECT_EQ(lit(), (Dots{{300 + 10 * 2, 200 + 3 * 2}}));

    // HZK16C: row 15, byte 0, bit 0 -> column 0, row 15.
    sink.clear();
    set_bitmap_font_path(font_hzk16, font_file(dir, "h16", 32, 1411, 1410, {{15 * 2, 0x80}}).c_str());
    draw_text_bitmap(16, 0, 300, 200, "\xB0\xA1");
    EXPECT_EQ(lit(), (Dots{{300, 200 + 15 * 2}}));

    // ASC12_8: one byte a row; 'A' row 5, bit 7 -> column 7.
    sink.clear();
    set_bitmap_font_path(font_asc12, font_file(dir, "a12", 12, 96, 33, {{5, 0x01}}).c_str());
    draw_text_bitmap(12, 0, 300, 200, "A");
    EXPECT_EQ(lit(), (Dots{{300 + 7 * 2, 200 + 5 * 2}}));
}

TEST_F(Text_test, ColumnMajorLayoutsHoldEightRowsABytes) {
    struct Case {
        int id, height, size, count, index, byte;
        const char* text;
        int col, row;
    };
    const Case cases[] = {
        {font_hzk24, 24, 72, 1411, 1410, 3 * 5 + 2, "\xB0\xA1", 5, 16 + 1},    // byte 3c+k
        {font_hzk32, 32, 128, 1411, 1410, 4 * 31 + 3, "\xB0\xA1", 31, 24 + 1},
        {font_asc16, 16, 16, 96, 33, 2 * 7 + 1, "A", 7, 8 + 1},
        {font_asc24, 24, 36, 96, 33, 3 * 11 + 0, "A", 11, 1},
        {font_asc32, 32, 64, 96, 33, 4 * 2 + 2, "A", 2, 16 + 1},
    };
    for (const Case& c : cases) {
        sink.clear();
        std::string name = "f" + std::to_string(c.id);
        set_bitmap_font_path(c.id, font_file(dir, name.c_str(), c.size, c.count, c.index, {{c.byte, 0x40}}).c_str());
        draw_text_bitmap(static_cast<uint8_t>(c.height), 0, 300, 200, c.text);
        EXPECT_EQ(lit(), (Dots{{300 + c.col * 2, 200 + c.row * 2}})) << "font " << c.id;
    }
}

TEST_F(Text_test, AdvancesSkipsAndEnds) {
    // Every ASC16 glyph lights its top-left dot; HZK16 glyph 1410 too.
    std::vector<std::pair<int, uint8_t>> first_bit = {{0, 0x80}};
    std::string asc(16 * 96, '\0');
    for (int g = 0; g < 96; ++g) asc[static_cast<size_t>(g) * 16] = static_cast<char>(0x80);
    set_bitmap_font_path(font_asc16, dir.write("a16", asc).c_str());
    set_bitmap_font_path(font_hzk16, font_file(dir, "h16", 32, 1411, 1410, first_bit).c_str());

    // "A1" at 16: two 8-dot advances.
    draw_text_bitmap(16, 0, 300, 200, "A1B");
    EXPECT_EQ(lit(), (Dots{{300, 200}, {316, 200}, {332, 200}}));

    // A line feed and a carriage return take no space.
    sink.clear();
    draw_text_bitmap(16, 0, 300, 200, "A\n\rB");
    EXPECT_EQ(lit(), (Dots{{300, 200}, {316, 200}}));

    // Double-byte advances 16 dots; a lead byte before the NUL ends the text.
    sink.clear();
    draw_text_bitmap(16, 0, 300, 200, "\xB0\xA1" "A\xB0");
    EXPECT_EQ(lit(), (Dots{{300, 200}, {332, 200}}));

    // 0x80 is a single-byte character: nothing to draw, but it advances.
    sink.clear();
    draw_text_bitmap(16, 0, 300, 200, "\x80" "A");
    EXPECT_EQ(lit(), (Dots{{316, 200}}));

    // Height 20 draws nothing and does not move the pen.
    sink.clear();
    draw_text_bitmap(20, 0, 300, 200, "A\xB0\xA1");
    EXPECT_TRUE(sink.dots.empty());
}

TEST_F(Text_test, FourteenDotTextUsesTwelveDotGlyphsAtTwoPixels) {
    std::vector<std::pair<int, uint8_t>> bits = {{0, 0x80}, {1, 0x18}, {11 * 2, 0x80}};  // cols 0, 11, 12; row 11
    set_bitmap_font_path(font_hzk12, font_file(dir, "h12", 24, 1411, 1410, bits).c_str());
    set_dot_pitch(4);
    draw_text_bitmap(14, 0, 300, 200, "\xB0\xA1" "A\xB0\xA1");
    // Column 11 is drawn, column 12 is not; ASCII is skipped;
    // the second glyph starts 14 dots (at pitch 4) later.
    EXPECT_EQ(lit(), (Dots{{300, 200}, {300 + 22, 200}, {300, 222},
                           {356, 200}, {356 + 22, 200}, {356, 222}}));
}

TEST_F(Text_test, MissingFontBlanksItsCharactersButTheyStillAdvance) {
    set_bitmap_font_path(font_asc12, font_file(dir, "a12", 12, 96, 33, {{0, 0x80}}).c_str());
    draw_text_bitmap(12, 0, 300, 200, "\xB0\xA1" "A");   // no HZK12 file
    EXPECT_EQ(lit(), (Dots{{324, 200}}));
}

TEST_F(Text_test, TextElementsFollowThePitchAndDrawTheirFrame) {
    string_draw s;   // "添加文本", 12 dots, length 8
    s.x = 300;
    s.y = 200;
    s.pitch = 2;
    EXPECT_EQ(draw_text_element(s), 0);
    EXPECT_EQ(s.height, 12);
    EXPECT_TRUE(sink.loops.empty());

    set_dot_pitch(3);
    EXPECT_EQ(draw_text_element_selected(s), 0);
    EXPECT_EQ(s.x, 250u + 25 * 3);   // column 25 at the new pitch
    EXPECT_EQ(s.y, 140u + 30 * 3);
    EXPECT_EQ(s.width, 48);          // 6 x 8 dots
    ASSERT_EQ(sink.loops.size(), 1u);
    EXPECT_TRUE(sink.loops[0].stippled);
    EXPECT_EQ(sink.loops[0].xy[2], float(s.x + 48 * 3));
    EXPECT_EQ(sink.loops[0].xy[5], float(s.y + 12 * 3));
    ASSERT_EQ(sink.segments.size(), 1u);   // the caret, white, after the text
    EXPECT_EQ(sink.segments[0].xy[0], float(s.x + 6 * 3 * 8));
    EXPECT_EQ(sink.segments[0].r, 1);

    s.enabled = 0;
    sink.clear();
    EXPECT_EQ(draw_text_element(s), -1);
    EXPECT_EQ(draw_text_element_selected(s), -1);
    EXPECT_TRUE(sink.loops.empty());
}

TEST_F(Text_test, LeftPanelTextKeepsItsPlaceWhenZooming) {
    string_draw s;
    s.x = 85;
    s.y = 535;
    s.pitch = 2;
    set_dot_pitch(4);
    draw_text_element(s);
    EXPECT_EQ(s.x, 85u);
    EXPECT_EQ(s.y, 535u);
    draw_text_element_selected(s);
    EXPECT_EQ(s.x, 85u);
}

// --- The generated font files ---------------------------------------------

std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool blank(const std::vector<uint8_t>& f, int size, int index) {
    for (int i = 0; i < size; ++i)
        if (f.at(static_cast<size_t>(index) * size + i)) return false;
    return true;
}

TEST(GeneratedFonts, HaveTheirLayoutsSizesAndGlyphs) {
    const std::string dir = VANTIRO_FONT_DIR;
    struct File {
        const char* name;
        int glyph_bytes, glyphs;
    };
    const File hzk[] = {{"/HZK/12/HZK12", 24, 8178}, {"/HZK/16/HZK16C", 32, 8178},
                        {"/HZK/24/HZK24", 72, 8178}, {"/HZK/32/HZK32", 128, 8178}};
    for (const File& f : hzk) {
        std::vector<uint8_t> data = read_all(dir + f.name);
        ASSERT_EQ(data.size(), static_cast<size_t>(f.glyph_bytes) * f.glyphs) << f.name;
        EXPECT_FALSE(blank(data, f.glyph_bytes, 1410)) << f.name;   // 啊
        EXPECT_TRUE(blank(data, f.glyph_bytes, 0)) << f.name;       // ideographic space
        EXPECT_TRUE(blank(data, f.glyph_bytes, double_byte_index(0xAA, 0xA1))) << f.name;  // unassigned row
    }
    const File asc[] = {{"/ASC/ASC12_8", 12, 96}, {"/ASC/ASC16_8", 16, 96},
                        {"/ASC/ASC24_12", 36, 96}, {"/ASC/ASC32_16", 64, 96}};
    for (const File& f : asc) {
        std::vector<uint8_t> data = read_all(dir + f.name);
        ASSERT_EQ(data.size(), static_cast<size_t>(f.glyph_bytes) * f.glyphs) << f.name;
        EXPECT_TRUE(blank(data, f.glyph_bytes, 0)) << f.name;   // space
        EXPECT_FALSE(blank(data, f.glyph_bytes, 'A' - 32)) << f.name;
    }
    // ASC12_8 is 6 dots wide: the two low bits of every row stay clear.
    std::vector<uint8_t> a12 = read_all(dir + "/ASC/ASC12_8");
    for (uint8_t b : a12) ASSERT_EQ(b & 0x03, 0);
    // HZK12 is 12 dots wide: the low nibble of each row's second byte is clear.
    std::vector<uint8_t> h12 = read_all(dir + "/HZK/12/HZK12");
    for (size_t i = 1; i < h12.size(); i += 2) ASSERT_EQ(h12[i] & 0x0F, 0);
}

}  // namespace
