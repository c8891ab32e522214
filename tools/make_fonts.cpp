// Generates the eight dot-matrix font files of the editor from free fonts,
// through FreeType with monochrome rendering (a face's own bitmap strike is
// used where it has one at that size).
//
//   make_fonts OUTDIR
//
// writes OUTDIR/Font/fonts/font_libs/{HZK/12/HZK12, HZK/16/HZK16C,
// HZK/24/HZK24, HZK/32/HZK32, ASC/ASC12_8, ASC/ASC16_8, ASC/ASC24_12,
// ASC/ASC32_16}. Layouts (bits most significant first, a set bit is a lit
// dot):
//   HZK12   24 bytes a glyph, 12 rows of 2 bytes (columns 0-7, 8-15)
//   HZK16C  32 bytes, 16 rows of 2 bytes
//   HZK24   72 bytes, 24 columns of 3 bytes (byte 3c+k: rows 8k..8k+7)
//   HZK32  128 bytes, 32 columns of 4 bytes
//   ASC12_8  12 bytes, 12 rows of 1 byte (6 columns used)
//   ASC16_8  16 bytes, 8 columns of 2 bytes
//   ASC24_12 36 bytes, 12 columns of 3 bytes
//   ASC32_16 64 bytes, 16 columns of 4 bytes
// Double-byte files hold the GB2312 rows 0xA1..0xF7, 94 glyphs a row, from
// the symbol rows on; single-byte files hold 0x20..0x7F.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <iconv.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Face_wanted {
    const char* family;   // fontconfig family to look for
    const char* package;  // Debian package that provides it
};

// Chinese: AR PL UMing has hand-tuned bitmap strikes at 12 and 16 pixels;
// WenQuanYi Zen Hei, a Hei face, reads better as dots at 24 and 32.
// ASCII: Terminus has strikes of exactly 6x12, 8x16, 12x24 and 16x32.
const Face_wanted ming = {"AR PL UMing CN", "fonts-arphic-uming"};
const Face_wanted hei = {"WenQuanYi Zen Hei", "fonts-wqy-zenhei"};
const Face_wanted terminus = {"Terminus", "fonts-terminus-otb"};

struct Font_layout {
    const char* path;      // below OUTDIR
    const Face_wanted* face;
    int width, height;     // glyph cell in dots
    bool double_byte;
    bool column_major;
    int glyph_bytes;
};

const Font_layout fonts[] = {
    {"Font/fonts/font_libs/HZK/12/HZK12", &ming, 12, 12, true, false, 24},
    {"Font/fonts/font_libs/HZK/16/HZK16C", &ming, 16, 16, true, false, 32},
    {"Font/fonts/font_libs/HZK/24/HZK24", &hei, 24, 24, true, true, 72},
    {"Font/fonts/font_libs/HZK/32/HZK32", &hei, 32, 32, true, true, 128},
    {"Font/fonts/font_libs/ASC/ASC12_8", &terminus, 6, 12, false, false, 12},
    {"Font/fonts/font_libs/ASC/ASC16_8", &terminus, 8, 16, false, true, 16},
    {"Font/fonts/font_libs/ASC/ASC24_12", &terminus, 12, 24, false, true, 36},
    {"Font/fonts/font_libs/ASC/ASC32_16", &terminus, 16, 32, false, true, 64},
};

bool find_face(const Face_wanted& wanted, std::string* file, int* index) {
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(wanted.family));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    bool ok = false;
    if (match) {
        FcChar8 *family = nullptr, *path = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
            strcasecmp(reinterpret_cast<char*>(family), wanted.family) == 0 &&
            FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            *file = reinterpret_cast<char*>(path);
            if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
            ok = true;
        }
        FcPatternDestroy(match);
    }
    return ok;
}

// Unicode of GB2312 code hi/lo, or 0 when unassigned.
uint32_t gb2312_to_unicode(iconv_t cd, unsigned char hi, unsigned char lo) {
    char in[2] = {static_cast<char>(hi), static_cast<char>(lo)};
    uint32_t out = 0;
    char* src = in;
    char* dst = reinterpret_cast<char*>(&out);
    size_t left = 2, room = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || room != 0) return 0;
    return out;
}

// Cell of dots, row-major, 1 = lit.
using Cell = std::vector<uint8_t>;

// Renders code point cp into a w x h cell: the pen at the cell's left
// edge, the baseline where the face's ascent puts it, ink outside the cell
// cut. Returns false when the face has no glyph for cp.
bool render(FT_Face face, uint32_t cp, int w, int h, int baseline, Cell* cell) {
    cell->assign(static_cast<size_t>(w) * h, 0);
    if (cp == 0) return false;
    FT_UInt gi = FT_Get_Char_Index(face, cp);
    if (gi == 0) return false;
    if (FT_Load_Glyph(face, gi, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME))
        return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    // Centre the glyph's advance in the cell (a full-width character in a
    // square cell, a half-width one in its half cell).
    int adv = static_cast<int>(slot->advance.x >> 6);
    int x0 = slot->bitmap_left + (adv > 0 && adv < w ? (w - adv) / 2 : 0);
    if (x0 + static_cast<int>(bm.width) > w) x0 = w - static_cast<int>(bm.width);
    if (x0 < 0) x0 = 0;
    int y0 = baseline - slot->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r) {
        const uint8_t* row = bm.buffer + static_cast<long>(r) * bm.pitch;
        for (unsigned c = 0; c < bm.width; ++c) {
            bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] >> (7 - (c & 7))) & 1
                                                          : row[c] >= 128;
            int x = x0 + static_cast<int>(c), y = y0 + static_cast<int>(r);
            if (on && x >= 0 && x < w && y >= 0 && y < h) (*cell)[static_cast<size_t>(y) * w + x] = 1;
        }
    }
    return true;
}

// Packs a cell into the file layout of layout.
void pack(const Font_layout& layout, const Cell& cell, std::vector<uint8_t>* out) {
    size_t at = out->size();
    out->resize(at + layout.glyph_bytes, 0);
    uint8_t* g = out->data() + at;
    const int w = layout.width, h = layout.height;
    if (!layout.column_major) {
        const int row_bytes = (w + 7) / 8;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                if (cell[static_cast<size_t>(r) * w + c]) g[r * row_bytes + c / 8] |= 0x80 >> (c % 8);
    } else {
        const int col_bytes = (h + 7) / 8;
        for (int c = 0; c < w; ++c)
            for (int r = 0; r < h; ++r)
                if (cell[static_cast<size_t>(r) * w + c]) g[c * col_bytes + r / 8] |= 0x80 >> (r % 8);
    }
}

bool make_dirs(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string dir = path.substr(0, i);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fonts OUTDIR\n");
        return 2;
    }
    const std::string outdir = argv[1];
    FT_Library lib;
    if (FT_Init_FreeType(&lib) || !FcInit()) {
        std::fprintf(stderr, "make_fonts: FreeType or fontconfig cannot start\n");
        return 1;
    }
    iconv_t gb = iconv_open("UTF-32LE", "GB2312");
    if (gb == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "make_fonts: iconv has no GB2312 conversion\n");
        return 1;
    }
    for (const Font_layout& layout : fonts) {
        std::string file;
        int index = 0;
        FT_Face face = nullptr;
        if (!find_face(*layout.face, &file, &index) || FT_New_Face(lib, file.c_str(), index, &face)) {
            std::fprintf(stderr, "make_fonts: font \"%s\" not found; install the package %s\n",
                         layout.face->family, layout.face->package);
            return 1;
        }
        // Pick the face's strike of this height when it has one.
        FT_Set_Pixel_Sizes(face, 0, layout.height);
        for (int i = 0; i < face->num_fixed_sizes; ++i)
            if (face->available_sizes[i].height == layout.height ||
                (face->available_sizes[i].y_ppem >> 6) == layout.height)
                FT_Select_Size(face, i);
        long asc = face->size->metrics.ascender >> 6, desc = -(face->size->metrics.descender >> 6);
        if (asc <= 0) asc = layout.height;
        if (desc < 0) desc = 0;
        int baseline = static_cast<int>((asc * layout.height + (asc + desc) / 2) / (asc + desc));

        std::vector<uint8_t> data;
        Cell cell;
        long drawn = 0, blank = 0;
        if (layout.double_byte) {
            for (int hi = 0xA1; hi <= 0xF7; ++hi)
                for (int lo = 0xA1; lo <= 0xFE; ++lo) {
                    uint32_t cp = gb2312_to_unicode(gb, static_cast<unsigned char>(hi),
                                                    static_cast<unsigned char>(lo));
                    (render(face, cp, layout.width, layout.height, baseline, &cell) ? drawn : blank)++;
                    pack(layout, cell, &data);
                }
        } else {
            for (int c = 0x20; c <= 0x7F; ++c) {
                (render(face, static_cast<uint32_t>(c), layout.width, layout.height, baseline, &cell)
                     ? drawn : blank)++;
                pack(layout, cell, &data);
            }
        }
        FT_Done_Face(face);

        const std::string path = outdir + "/" + layout.path;
        FILE* f = nullptr;
        if (!make_dirs(path) || !(f = std::fopen(path.c_str(), "wb")) ||
            std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "make_fonts: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("make_fonts: %s: %ld glyphs from %s, %ld blank\n", layout.path, drawn,
                    layout.face->family, blank);
    }
    return 0;
}
