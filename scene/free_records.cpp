#include "scene/free_records.h"

#include <cstring>

void palette_place(int index, uint32_t* x, uint32_t* y) {
    switch (index) {
        case 31: *x = 20, *y = 345; return;      // block, 16 x 16 pixels
        case 32: *x = 60, *y = 352; return;      // horizontal line, 40 pixels
        case 33: *x = 230, *y = 376; return;     // circle around its centre
        case 34: *x = 250, *y = 40; return;      // digit element in the top band
        case 35: *x = 350, *y = 40; return;      // vertical line in the top band
        case 36: *x = 170, *y = 440; return;     // rectangle, 80 x 40 pixels
        default: break;
    }
    // Digit modules: 94 pictures of "88", 8 to a row, 26 x 15 pixels apart.
    const int k = index < 31 ? index : index - 6;
    *x = static_cast<uint32_t>(8 + 26 * (k % 8));
    *y = static_cast<uint32_t>(152 + 15 * (k / 8));
}

namespace {

bool at_palette_place(const Digit_unit& d, int index) {
    uint32_t x, y;
    palette_place(index, &x, &y);
    return d.enabled && d.x == x && d.y == y;
}

}  // namespace

bool text_record_free(const Scene& scene, int index) {
    if (index < 5 || index >= string_draw_count) return false;
    const string_draw& s = scene.string_draws[index];
    return !s.enabled || never_filled(s);
}

bool shape_record_free(const Scene& scene, int group, int index) {
    if (group < 0 || group >= digit_groups_in_use || index < 0 || index >= digit_group_size) return false;
    const Digit_unit& d = scene.digit_at(group, index);
    if (!d.enabled) return true;
    if (!at_palette_place(d, index)) return false;
    for (int g = 0; g < digit_groups_in_use; ++g)
        if (g != group && at_palette_place(scene.digit_at(g, index), index)) return true;
    return false;
}

int free_text_record(const Scene& scene) {
    for (int i = 5; i < string_draw_count; ++i)
        if (text_record_free(scene, i)) return i;
    return -1;
}

int free_shape_record(const Scene& scene, int group) {
    for (int i = 1; i < digit_group_size; ++i)
        if (shape_record_free(scene, group, i)) return i;
    return -1;
}

void settle_text_sources(Scene& scene) {
    const string_draw fresh;
    for (int i = 0; i < string_draw_count; ++i) {
        string_draw& s = scene.string_draws[i];
        if (s.text_source != 3 && s.text_source != 4) continue;
        const bool panels_own = s.text_source == i && s.length == fresh.length &&
                                std::memcmp(s.text, fresh.text, sizeof fresh.text) == 0;
        if (!panels_own) s.text_source = 0;
    }
}
