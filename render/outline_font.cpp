#include "render/outline_font.h"

Font_holder font_holder;

// Zero-initialised static storage: every record starts empty.
glyph_record glyph_cache[glyph_cache_size];

bool font_library_start(std::string* err) {
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

bool open_outline_face(const char* file, int face_index, std::string* err) {
    if (!font_holder.library && !font_library_start(err)) return false;
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
