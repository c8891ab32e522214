#include "render/outline_font.h"

#include <algorithm>

#include FT_GLYPH_H

#include <vector>

#include "platform/platform.h"
#include "render/dot_sink.h"

Outline_font::~Outline_font() {
    if (holder.face) FT_Done_Face(holder.face);
    if (holder.library) FT_Done_FreeType(holder.library);
}

bool font_library_start(Outline_font& font, std::string* err) {
    Font_holder& font_holder = font.holder;
    if (font_holder.library) return true;
    FT_Error e = FT_Init_FreeType(&font_holder.library);
    if (e) {
        font_holder.library = nullptr;
        if (err) *err = "font: FreeType cannot start (error " + std::to_string(e) +
                        "); reinstall the package libfreetype6";
        return false;
    }
    return true;
}

bool open_outline_face(Outline_font& font, const char* file, int face_index, std::string* err) {
    Font_holder& font_holder = font.holder;
    if (!font_holder.library && !font_library_start(font, err)) return false;
    FT_Face face = nullptr;
    FT_Error e = FT_New_Face(font_holder.library, file, face_index, &face);
    if (e) {
        if (err) *err = std::string("font: cannot open TrueType face ") + std::to_string(face_index) +
                        " of " + file + " (FreeType error " + std::to_string(e) +
                        "); install the package fonts-arphic-uming";
        return false;
    }
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE)) {
        if (err) *err = std::string("font: ") + file + " has no Unicode character map";
        FT_Done_Face(face);
        return false;
    }
    font_holder.size_w = 36;
    font_holder.size_h = 36;
    // Width 0 means "same as the height"; 36 pt at 36 dpi is 18 pixels per em.
    if (FT_Set_Char_Size(face, 0, 36 * 64, 36, 36)) {
        if (err) *err = std::string("font: ") + file + " cannot be set to 36 pt";
        FT_Done_Face(face);
        return false;
    }
    if (font_holder.face) FT_Done_Face(font_holder.face);
    font_holder.face = face;
    return true;
}

int32_t glyph_texture_size(int32_t n) {
    int32_t size = 1;
    while (size < n) size *= 2;
    return size;
}

void glyph_texture(const Screen& screen, uint16_t c) {
    glyph_record& rec = screen.font.glyph_cache[c];
    if (rec.texture) return;
    FT_Face face = screen.font.holder.face;
    if (!face) return;
    // 0x24: render, and force the auto-hinter.
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT)) return;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph)) return;
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1)) {
        FT_Done_Glyph(glyph);
        return;
    }
    const FT_BitmapGlyph bitmap_glyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
    const FT_Bitmap& bm = bitmap_glyph->bitmap;
    const int32_t width = static_cast<int32_t>(bm.width);
    const int32_t rows = static_cast<int32_t>(bm.rows);

    rec.tex_width = glyph_texture_size(width);
    rec.tex_height = glyph_texture_size(rows);
    rec.advance = static_cast<int32_t>(static_cast<double>(face->glyph->advance.x) * 0.015625);
    rec.ppem = face->size->metrics.y_ppem;
    rec.left = bitmap_glyph->left;
    rec.bottom = bitmap_glyph->top - rows;

    // Luminance and alpha both carry the coverage; buffer row 0 is the
    // bitmap's bottom row. Rows are read with the bitmap's own stride, and
    // a one-bit bitmap (an embedded strike) counts as full coverage.
    std::vector<uint8_t> texels(2 * static_cast<size_t>(rec.tex_width) * rec.tex_height, 0);
    const int stride = bm.pitch < 0 ? -bm.pitch : bm.pitch;
    for (int32_t j = 0; j < rows; ++j) {
        const uint8_t* src = bm.buffer + static_cast<size_t>(rows - 1 - j) * stride;
        for (int32_t i = 0; i < width; ++i) {
            uint8_t v = bm.pixel_mode == FT_PIXEL_MODE_MONO
                            ? ((src[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0)
                            : src[i];
            size_t at = 2 * (static_cast<size_t>(j) * rec.tex_width + i);
            texels[at] = v;
            texels[at + 1] = v;
        }
    }
    rec.texture = screen.sink.make_texture(texels.data(), rec.tex_width, rec.tex_height);
    FT_Done_Glyph(glyph);
}

void draw_label(const Screen& screen, const char16_t* text, int32_t left, int32_t baseline, int32_t wrap,
                int32_t line_height) {
    Dot_sink& sink = screen.sink;
    const glyph_record* glyph_cache = screen.font.glyph_cache;
    sink.set_texturing(true);
    int64_t pen_x = left, pen_y = baseline;
    for (const char16_t* p = text; *p; ++p) {
        const uint16_t c = static_cast<uint16_t>(*p);
        if (c == 10) {
            pen_x = left;
            pen_y += 12 + line_height;
            continue;
        }
        glyph_texture(screen, c);
        const glyph_record& rec = glyph_cache[c];
        const float gx = static_cast<float>(pen_x + rec.left);
        const float gy = static_cast<float>(pen_y - rec.bottom);
        if (rec.tex_height > line_height) line_height = rec.tex_height;
        sink.glyph_quad(rec.texture, gx, gy - static_cast<float>(rec.tex_height),
                        gx + static_cast<float>(rec.tex_width), gy);
        pen_x += rec.advance;
        if (pen_x > int64_t{left} + wrap) {
            pen_x = left;
            pen_y += 12 + line_height;
        }
    }
    sink.set_texturing(false);
}

void draw_label_scaled(const Screen& screen, const char16_t* text, float left, float baseline, float scale) {
    Dot_sink& sink = screen.sink;
    const glyph_record* glyph_cache = screen.font.glyph_cache;
    sink.set_texturing(true);
    float pen = left;
    for (const char16_t* p = text; *p; ++p) {
        const uint16_t c = *p == 10 ? 32 : static_cast<uint16_t>(*p);
        glyph_texture(screen, c);
        const glyph_record& rec = glyph_cache[c];
        const float gx = pen + scale * static_cast<float>(rec.left);
        const float gy = baseline - scale * static_cast<float>(rec.bottom);
        sink.glyph_quad(rec.texture, gx, gy - scale * static_cast<float>(rec.tex_height),
                        gx + scale * static_cast<float>(rec.tex_width), gy);
        pen += scale * static_cast<float>(rec.advance);
    }
    sink.set_texturing(false);
}

void draw_label_fitted(const Screen& screen, const char16_t* text, int32_t left, int32_t baseline,
                       int32_t max_width) {
    constexpr char16_t ellipsis = 0x2026;
    const glyph_record* glyph_cache = screen.font.glyph_cache;
    auto right_of = [&](uint16_t c, int64_t pen) {   // where glyph c at pen reaches
        glyph_texture(screen, c);
        const glyph_record& r = glyph_cache[c];
        return std::max<int64_t>(pen + r.advance, pen + r.left + r.tex_width);
    };
    const int64_t limit = int64_t{left} + max_width;
    // How much fits whole; else how much fits with the ellipsis after it.
    size_t n = 0, fits_with_ellipsis = 0;
    int64_t pen = left;
    bool whole = true;
    for (; text[n]; ++n) {
        const uint16_t c = text[n] == 10 ? 32 : static_cast<uint16_t>(text[n]);
        if (right_of(ellipsis, pen) <= limit) fits_with_ellipsis = n;
        if (right_of(c, pen) > limit) {
            whole = false;
            break;
        }
        pen += glyph_cache[c].advance;
    }
    if (!whole && right_of(ellipsis, pen) <= limit) fits_with_ellipsis = n;
    char16_t line[512];
    const size_t keep = whole ? std::min<size_t>(n, 510) : std::min<size_t>(fits_with_ellipsis, 509);
    for (size_t i = 0; i < keep; ++i) line[i] = text[i] == 10 ? u' ' : text[i];
    size_t end = keep;
    if (!whole) line[end++] = ellipsis;
    line[end] = 0;
    draw_label(screen, line, left, baseline, INT32_MAX / 2, 0);
}

size_t to_wide(const char* text, char16_t* out, size_t cap) {
    return platform_gbk_to_utf16(text, out, cap);
}
