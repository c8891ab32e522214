#include "app/scene_json.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "scene/status_line.h"

std::string scene_json(const Scene& scene) {
    using json = nlohmann::ordered_json;
    json out;
    out["dot_pitch"] = scene.dot_pitch;
    out["board_columns"] = scene.board_columns;
    out["board_rows"] = scene.board_rows;
    out["export_columns"] = scene.export_columns;
    out["text_count"] = scene.text_count;
    out["rect_count"] = scene.rect_count;
    out["graph_count"] = scene.graph_count;
    out["brightness_level"] = scene.brightness_level;
    out["panel_type"] = scene.panel_type;

    json boards = json::array();
    for (int r = 0; r < board_grid_rows; ++r)
        for (int c = 0; c < board_grid_cols; ++c) {
            const led_unit& b = scene.board_at(r, c);
            boards.push_back({{"row", r}, {"col", c}, {"x", b.x}, {"y", b.y},
                              {"width", b.width}, {"height", b.height}});
        }
    out["boards"] = boards;

    json texts = json::array();
    for (int k = 0; k < string_draw_count; ++k) {
        const string_draw& s = scene.string_draws[k];
        const size_t n = strnlen(s.text, sizeof s.text);
        char utf8[4 * sizeof s.text];
        char gbk[sizeof s.text + 1];
        std::memcpy(gbk, s.text, n);
        gbk[n] = '\0';
        platform_gbk_to_utf8(gbk, utf8, sizeof utf8);
        std::string hex;
        static const char digits[] = "0123456789abcdef";
        for (size_t i = 0; i < n; ++i) {
            hex += digits[static_cast<uint8_t>(s.text[i]) >> 4];
            hex += digits[static_cast<uint8_t>(s.text[i]) & 15];
        }
        texts.push_back({{"index", k}, {"slot", s.slot}, {"x", s.x}, {"y", s.y},
                         {"pitch", s.pitch}, {"font_size", s.font_size},
                         {"text_source", s.text_source}, {"enabled", s.enabled},
                         {"width", s.width}, {"height", s.height}, {"colour", s.colour},
                         {"length", s.length}, {"bold_flag", s.bold_flag}, {"text", utf8},
                         {"text_hex", hex}});
    }
    out["texts"] = texts;

    json digit_list = json::array();
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            digit_list.push_back({{"group", g}, {"index", i}, {"enabled", d.enabled}, {"id", d.id},
                                  {"pitch", d.pitch}, {"x", d.x}, {"y", d.y}, {"width", d.width},
                                  {"height", d.height}, {"spare_word", d.spare_word},
                                  {"param_a", d.param_a},
                                  {"param_b", d.param_b}, {"digits", d.digits},
                                  {"colour", d.colour}, {"spare_byte", d.spare_byte},
                                  {"type_code", d.type_code},
                                  {"kind", d.kind}});
        }
    out["digits"] = digit_list;

    json graphs = json::array();
    for (int k = 0; k < graph_draw_count; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        if (k >= scene.graph_count && !g.in_use) continue;
        graphs.push_back({{"index", k}, {"x", g.x}, {"y", g.y}, {"width", g.width},
                          {"height", g.height}, {"in_use", g.in_use}});
    }
    out["graphs"] = graphs;
    return out.dump();
}
