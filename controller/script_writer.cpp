#include "controller/script_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "card/led_picture.h"
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

void Text_files::read() {
    for (int k = 0; k < 2; ++k) {
        present[k] = false;
        length[k] = 0;
        line[k][0] = '\0';
        char name[32];
        std::snprintf(name, sizeof name, "my_txt%d.txt", k + 3);
        const std::string path = folder + name;
        std::vector<uint8_t> bytes;
        std::string err;
        if (!platform_read_file_head(path.c_str(), 4096, &bytes, &err)) continue;
        const size_t n = first_text_line(bytes.data(), bytes.size());
        std::memcpy(line[k], bytes.data(), n);
        line[k][n] = '\0';
        length[k] = n;
        present[k] = true;
    }
}

const char* Text_files::first_line(int source, size_t* n) const {
    if ((source != 3 && source != 4) || !present[source - 3]) return nullptr;
    *n = length[source - 3];
    return line[source - 3];
}

bool text_file_missing(const Text_files& texts, int text_source) {
    size_t n;
    return (text_source == 3 || text_source == 4) && !texts.first_line(text_source, &n);
}

namespace {

// A line as long as the longest text run needs: 511 bytes and the numbers.
constexpr size_t line_cap = 1024;

// Waits after each live line, in milliseconds, by what it draws.
constexpr int32_t text_wait = 10, point_wait = 1000, hline_wait = 1000, circle_wait = 100,
                  vline_wait = 10, rect_wait = 10, module_wait = 10;

struct Text_lines {
    Line_sink* out;
    const char* text;
    uint8_t height, colour;
    int32_t x, y;   // LED of the text's first character
    int32_t tag;
};

void text_run(void* context, size_t start, size_t bytes, int64_t pen) {
    const Text_lines& t = *static_cast<const Text_lines*>(context);
    Scene_line l;
    l.value.verb = Verb::text;
    l.value.font_height = t.height;
    l.value.count = 3;
    l.value.number[0] = t.colour;
    l.value.number[1] = static_cast<uint32_t>(static_cast<int32_t>(t.x + pen));
    l.value.number[2] = static_cast<uint32_t>(t.y);
    l.value.text = t.text + start;
    l.value.text_length = bytes;
    l.info = Line_info{t.tag, text_wait};
    t.out->put(l);
}

void write_text(Line_sink& out, const Text_files& texts, const string_draw& s, int32_t x, int32_t y,
                Line_style style) {
    const uint8_t height = card_text_height(s.font_size);
    const uint8_t colour = card_colour(static_cast<uint32_t>(s.colour));
    const char* text = s.text;
    size_t length = strnlen(s.text, sizeof s.text);
    if (s.text_source == 3 || s.text_source == 4) {
        text = texts.first_line(s.text_source, &length);
        if (!text) return;   // the card has nothing to show there
        if (style == Line_style::script) {
            Scene_line l;
            l.value.verb = Verb::txt;
            l.value.count = 7;
            const int32_t n[7] = {s.text_source, colour, x, y, s.width, height, 20};
            for (int i = 0; i < 7; ++i) l.value.number[i] = static_cast<uint32_t>(n[i]);
            l.info = Line_info{s.text_source, text_wait};
            out.put(l);
            return;
        }
    }
    Text_lines t{&out, text, height, colour, x, y, s.text_source};
    for_each_text_run(height, text, length, text_run, &t);
}

void module_lines(Line_sink& out, int index, const Digit_unit& d, int32_t x, int32_t y, int pitch) {
    Scene_line l;
    l.is_module = true;
    l.info = Line_info{d.type_code, module_wait};
    Module_value& m = l.module;
    m.number = index + 20;
    m.module_class = 800;
    m.colour = card_colour(d.colour);
    m.x = x;
    m.y = y;
    m.type = d.type_code;
    m.digits = d.digits;
    m.param_a = d.param_a;
    m.param_b = d.param_b;
    out.put(l);
    if (d.type_code == 11 || d.type_code == 13) {
        // Auxiliary modules: kept by the card, drawn by nobody; placed 8000
        // pixels right at the pitch of the day, as stored scripts have them.
        m.number = 1020 + index;
        m.module_class = 20;
        m.x = static_cast<int32_t>((int64_t{x} * pitch + 8000) / pitch);
        const int32_t first = d.type_code == 11 ? 61 : 63;
        for (int32_t type : {first, first + 10}) {
            m.type = type;
            out.put(l);
        }
    }
}

void write_shape(Line_sink& out, int index, const Digit_unit& d, int32_t x, int32_t y, int pitch,
                 Line_style style) {
    Scene_line l;
    l.value.number[0] = card_colour(d.colour);
    auto put = [&](Verb verb, int32_t wait, std::initializer_list<int64_t> numbers) {
        l.value.verb = verb;
        l.value.count = 1;
        for (int64_t n : numbers) l.value.number[l.value.count++] = static_cast<uint32_t>(static_cast<int32_t>(n));
        // Rectangles are tagged with their id, every other shape with its type.
        l.info = Line_info{d.kind == kind_rect ? d.id : d.type_code, wait};
        out.put(l);
    };
    auto block = [&](int64_t top) {
        const int64_t n = block_side(d.height);
        for (int64_t a = 0; a < n; ++a)
            for (int64_t b = 0; b < n; ++b) put(Verb::point, point_wait, {x + a, top + b});
    };
    switch (d.kind) {
        case kind_digit:
            if (style == Line_style::script) module_lines(out, index, d, x, y, pitch);
            break;
        case kind_block: block(y); break;
        case kind_block_pair:
            block(y);
            block(int64_t{y} + block_side(d.height));
            break;
        case kind_hline: put(Verb::line, hline_wait, {x, y, int64_t{x} + d.width, y}); break;
        case kind_vline: put(Verb::line, vline_wait, {x, y, x, int64_t{y} + d.height}); break;
        case kind_circle: put(Verb::circle, circle_wait, {x, y, d.height}); break;
        case kind_rect: put(Verb::rect, rect_wait, {x, y, int64_t{x} + d.width, int64_t{y} + d.height}); break;
        default: break;   // kinds that draw nothing have no line
    }
}

// Formats the values into lines.
class Formatter final : public Line_sink {
public:
    Formatter(Script_out& out, Line_style style) : out_(out), style_(style) {}
    void put(const Scene_line& l) override {
        char buf[line_cap];
        if (l.is_module) {
            const int n = format_module(l.module, buf, sizeof buf);
            if (n > 0) out_.line(buf, static_cast<size_t>(n), l.info);
            if (style_ == Line_style::script) out_.line("\r\n", 2, l.info);
            return;
        }
        if (l.value.verb == Verb::txt && (l.value.number[0] == 3 || l.value.number[0] == 4))
            text_files |= 1 << (l.value.number[0] - 3);
        const int n = format_command(l.value, style_, buf, sizeof buf);
        if (n > 0) out_.line(buf, static_cast<size_t>(n), l.info);
    }
    int text_files = 0;

private:
    Script_out& out_;
    Line_style style_;
};

}  // namespace

void write_scene_lines(const Scene& scene, Line_sink& out, const Text_files& texts, Line_style style) {
    int32_t x, y;
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            if (!d.enabled) continue;
            if (sign_led(scene, d.x, d.y, scene.dot_pitch, &x, &y)) write_shape(out, i, d, x, y, scene.dot_pitch, style);
        }
    for (const string_draw& s : scene.string_draws) {
        if (!s.enabled) continue;
        if (sign_led(scene, s.x, s.y, scene.dot_pitch, &x, &y)) write_text(out, texts, s, x, y, style);
    }
}

int write_scene_script(const Scene& scene, Script_out& out, const Text_files& texts, Line_style style) {
    Formatter f(out, style);
    write_scene_lines(scene, f, texts, style);
    return f.text_files;
}

int digit_modules_on_sign(const Scene& scene) {
    int count = 0;
    int32_t x, y;
    for (int g = 0; g < digit_groups_in_use; ++g)
        for (int i = 0; i < digit_group_size; ++i) {
            const Digit_unit& d = scene.digit_at(g, i);
            if (d.enabled && d.kind == kind_digit && sign_led(scene, d.x, d.y, scene.dot_pitch, &x, &y)) ++count;
        }
    return count;
}
