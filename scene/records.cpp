#include "scene/records.h"

#include <cstring>

// "添加文本" (Add text) in GBK.
static const char default_text_gbk[] = "\xCC\xED\xBC\xD3\xCE\xC4\xB1\xBE";

string_draw::string_draw()
    : slot(0), x(1000), y(1000), pitch(start_dot_pitch), font_size(12), text_source(0),
      enabled(1), width(64), height(40), colour(0), frame_r(1.0f), frame_g(1.0f),
      frame_b(1.0f), length(8), text{}, bold_flag(0) {
    std::memcpy(text, default_text_gbk, sizeof default_text_gbk);
}

bool never_filled(const string_draw& s) {
    // The constructor's place too: an operator's text that happens to read
    // as the placeholder, in its size and colour, lies where it was put.
    return s.x == 1000 && s.y == 1000 && s.slot == 0 && s.text_source == 0 && s.font_size == 12 && s.colour == 0 && s.length == 8 &&
           std::memcmp(s.text, default_text_gbk, sizeof default_text_gbk) == 0;
}

graph_draw::graph_draw()
    : x(0), y(0), width(0), height(0), in_use(0), r(1.0f), g(1.0f), b(1.0f) {}

Digit_unit::Digit_unit()
    : enabled(1), id(0), pitch(start_dot_pitch), x(0), y(0), width(40), height(0),
      spare_word(16), param_a(5), param_b(1), digits(1), colour(0), spare_byte(1),
      type_code(0), kind(kind_digit) {}

led_unit::led_unit()
    : x(0), y(64), width(64), height(32), label_b(0), label_a(0), r(1.0f), g(0.0f),
      b(0.0f) {}

menu_unit::menu_unit()
    : x(0), y(64), width(56), height(6), id(0), label{}, value(0),
      colour{0.8f, 0.8f, 0.8f} {}
