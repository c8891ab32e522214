#include "app/scene_json.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "platform/platform.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "scene/record_fields.h"
#include "scene/status_line.h"

namespace {

using json = nlohmann::ordered_json;

// A record as a JSON object: its indexes, then its described fields.
template <class R, size_t N>
json fields_of(const Record_field<R> (&fields)[N], const R& r, std::initializer_list<std::pair<const char*, int>> indexes) {
    json o = json::object();
    for (const auto& [key, value] : indexes) o[key] = value;
    for (const Record_field<R>& f : fields) o[f.name] = f.get(r);
    return o;
}

}  // namespace

std::string scene_json(const Scene& scene) {
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
        for (int c = 0; c < board_grid_cols; ++c)
            boards.push_back(fields_of(board_fields, scene.board_at(r, c), {{"row", r}, {"col", c}}));
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
        json t = fields_of(text_fields, s, {{"index", k}});
        t["text"] = utf8;
        t["text_hex"] = hex_of(s.text, n);
        texts.push_back(t);
    }
    out["texts"] = texts;

    json digit_list = json::array();
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i)
            digit_list.push_back(fields_of(digit_fields, scene.digit_at(g, i), {{"group", g}, {"index", i}}));
    out["digits"] = digit_list;

    json graphs = json::array();
    for (int k = 0; k < graph_draw_count; ++k) {
        const graph_draw& g = scene.graph_draws[k];
        if (k >= scene.graph_count && !g.in_use) continue;
        graphs.push_back(fields_of(graph_fields, g, {{"index", k}}));
    }
    out["graphs"] = graphs;
    return out.dump();
}
