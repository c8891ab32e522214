#include "controller/script_writer.h"

#include <cstdio>
#include <vector>

#include "command/command_value.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/view_state.h"

void Text_mode_script::write(const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (b[i] == '\n') bytes.push_back('\r');
        bytes.push_back(b[i]);
    }
}

namespace {

// A line as long as the longest text run needs: 511 bytes and the numbers.
constexpr size_t line_cap = 1024;

int32_t narrow(int64_t v) { return static_cast<int32_t>(v); }

// Waits after each live line, in milliseconds, by what it draws.
constexpr int32_t text_wait = 10, point_wait = 1000, hline_wait = 1000, circle_wait = 100,
                  vline_wait = 10, rect_wait = 10, module_wait = 10;

void emit(Script_out& out, const Command_value& v, Line_style style, Line_info info) {
    char buf[line_cap];
    const int n = format_command(v, style, buf, sizeof buf);
    if (n > 0) out.line(buf, static_cast<size_t>(n), info);
}

// Offsets of an element in the whole screen's pixels: from the corner of
// board (r, c), plus the boards to its left and above. False when the
// element does not lie on that board.
bool offsets_on(int r, int c, uint32_t x, uint32_t y, int64_t* ox, int64_t* oy) {
    const led_unit& u = board_at(r, c);
    if (!board_covers(u, x, y, dot_pitch)) return false;
    const int64_t w = int64_t{u.width} * dot_pitch, h = int64_t{u.height} * dot_pitch;
    *ox = x - int64_t{static_cast<uint32_t>(u.x)} + c * w;
    *oy = y - int64_t{static_cast<uint32_t>(u.y)} + r * h;
    return true;
}

void copy_text_file(int source, Script_files& files) {
    if (files.txt_folder.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, "my_txt%d.txt", source);
    const std::string from = files.text_source_folder + name;
    const std::string to = files.txt_folder + "/" + name;
    std::vector<uint8_t> bytes;
    std::string err;
    if (!platform_read_file(from.c_str(), 16u << 20, &bytes, &err) ||
        !platform_write_file_atomic(to.c_str(), bytes.data(), bytes.size(), &err)) {
        if (!files.copy_failures.empty()) files.copy_failures += "; ";
        files.copy_failures += std::string(name) + ": " + err;
    }
}

struct Text_lines {
    Script_out* out;
    const string_draw* s;
    int64_t x, y;   // LED of the text's first character
    Line_style style;
};

void text_run(void* context, size_t start, size_t bytes, int64_t pen) {
    const Text_lines& t = *static_cast<const Text_lines*>(context);
    Command_value v;
    v.verb = Verb::text;
    v.font_height = t.s->font_size;
    v.count = 3;
    v.number[0] = static_cast<uint32_t>(t.s->colour);
    v.number[1] = static_cast<uint32_t>(narrow(t.x + pen));
    v.number[2] = static_cast<uint32_t>(narrow(t.y));
    v.text = t.s->text + start;
    v.text_length = bytes;
    emit(*t.out, v, t.style, Line_info{t.s->text_source, text_wait});
}

void write_text(Script_out& out, Script_files& files, const string_draw& s, int64_t ox, int64_t oy,
                Line_style style) {
    const int64_t p = dot_pitch;
    if (style == Line_style::script && (s.text_source == 3 || s.text_source == 4)) {
        copy_text_file(s.text_source, files);
        Command_value v;
        v.verb = Verb::txt;
        v.count = 7;
        const int64_t n[7] = {s.text_source, s.colour, ox / p, oy / p, s.width, s.font_size, 20};
        for (int i = 0; i < 7; ++i) v.number[i] = static_cast<uint32_t>(narrow(n[i]));
        emit(out, v, style, {});
        return;
    }
    Text_lines t{&out, &s, ox / p, oy / p, style};
    for_each_text_run(s.font_size, s.text, sizeof s.text, text_run, &t);
}

void write_shape(Script_out& out, int index, const Digit_unit& d, int64_t ox, int64_t oy, Line_style style) {
    const int64_t p = dot_pitch;
    const int64_t x = ox / p, y = oy / p;
    Command_value v;
    v.number[0] = d.colour;
    int32_t wait = 0;
    auto put = [&](Verb verb, std::initializer_list<int64_t> numbers) {
        v.verb = verb;
        v.count = 1;
        for (int64_t n : numbers) v.number[v.count++] = static_cast<uint32_t>(narrow(n));
        // Rectangles are tagged with their id, every other shape with its type.
        emit(out, v, style, Line_info{d.kind == kind_rect ? d.id : d.type_code, wait});
    };
    const Line_info module{d.type_code, module_wait};
    switch (d.kind) {
        case kind_digit:
            write_module_line(out, 800, index + 20, d.type_code, d.colour, narrow(ox), narrow(oy), d.digits,
                              d.param_a, d.param_b, style, module);
            if (d.type_code == 11 || d.type_code == 13) {
                const int32_t first = d.type_code == 11 ? 61 : 63;
                for (int32_t type : {first, first + 10})
                    write_module_line(out, 20, 1020 + index, type, d.colour, narrow(ox + 8000), narrow(oy),
                                      d.digits, d.param_a, d.param_b, style, module);
            }
            break;
        case kind_block: {
            // The editor's block: a side of p * height pixels, of which only
            // the low 8 bits are kept; the LEDs those pixels cover.
            const int64_t side = (p * (d.height & 0xFF)) & 0xFF;
            const int64_t n = (side + p - 1) / p;
            wait = point_wait;
            for (int64_t a = 0; a < n; ++a)
                for (int64_t b = 0; b < n; ++b) put(Verb::point, {x + a, y + b});
            break;
        }
        case kind_hline: wait = hline_wait, put(Verb::line, {x, y, x + d.width, y}); break;
        case kind_vline: wait = vline_wait, put(Verb::line, {x, y, x, y + d.height}); break;
        case kind_circle: wait = circle_wait, put(Verb::circle, {x, y, d.height}); break;
        case kind_rect: wait = rect_wait, put(Verb::rect, {x, y, x + d.width, y + d.height}); break;
        default: break;   // kinds the card has no line for
    }
}

}  // namespace

int write_module_line(Script_out& out, int32_t module_class, int32_t number, int32_t type,
                      uint8_t colour, int32_t ox, int32_t oy, int32_t digits, int32_t param_a,
                      int32_t param_b, Line_style style, Line_info info) {
    const int32_t p = dot_pitch;
    char buf[line_cap];
    const int n = format_text(buf, sizeof buf, "insmod %d %d led key %d %d %d %d %d %d %d %d\n ", number,
                              module_class, colour, ox / p, oy / p, type, digits, param_a, param_b, 1);
    if (n > 0) out.line(buf, static_cast<size_t>(n), info);
    if (style == Line_style::script) out.line("\r\n", 2, info);
    return 0;
}

void write_scene_script(Script_out& out, Script_files& files, Line_style style) {
    // In the frame's order, shapes and digits first, then texts, so that
    // where elements overlap the card ends with the colour the editor
    // shows; each element on every board it lies on.
    int64_t ox, oy;
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            Digit_unit& d = digit_at(g, i);
            if (!d.enabled) continue;
            settle_digit_position(d);   // where the next frame shows it
            for (int r = 0; r < output_rows(); ++r)
                for (int c = 0; c < output_columns(); ++c)
                    if (offsets_on(r, c, d.x, d.y, &ox, &oy)) write_shape(out, i, d, ox, oy, style);
        }
    for (string_draw& s : string_draws) {
        if (!s.enabled) continue;
        settle_text_position(s);
        for (int r = 0; r < output_rows(); ++r)
            for (int c = 0; c < output_columns(); ++c)
                if (offsets_on(r, c, s.x, s.y, &ox, &oy)) write_text(out, files, s, ox, oy, style);
    }
}
