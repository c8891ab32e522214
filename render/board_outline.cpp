#include "render/board_outline.h"

#include "platform/platform.h"
#include "render/dot_sink.h"
#include "render/outline_font.h"
#include "scene/scene.h"

namespace {

// Closed loop through the board's four corners; sums wrap as unsigned
// 32-bit numbers.
void board_loop(Dot_sink& sink, const led_unit& b, int pitch) {
    const uint32_t p = static_cast<uint32_t>(pitch);
    const uint32_t x0 = static_cast<uint32_t>(b.x), y0 = static_cast<uint32_t>(b.y);
    const uint32_t x1 = x0 + p * static_cast<uint32_t>(b.width);
    const uint32_t y1 = y0 + p * static_cast<uint32_t>(b.height);
    const float xy[8] = {float(x0), float(y0), float(x1), float(y0),
                         float(x1), float(y1), float(x0), float(y1)};
    sink.line_loop(xy, 4);
}

}  // namespace

void draw_board_outline(Dot_sink& sink, const led_unit& board, int pitch) {
    sink.set_colour(board.r, board.g, board.b);
    board_loop(sink, board, pitch);
}

void draw_board_outline_dim(Dot_sink& sink, const led_unit& board, int pitch) {
    sink.set_colour(0.35f * board.r, 0.35f * board.g, 0.35f * board.b);
    board_loop(sink, board, pitch);
}

void draw_board_outline_selected(const Screen& screen, const led_unit& board, int pitch) {
    Dot_sink& sink = screen.sink;
    // "单元板#(%d,%d)" (unit board #(a,b)) in GBK.
    char label[100];
    format_text(label, sizeof label, "\xB5\xA5\xD4\xAA\xB0\xE5#(%d,%d)", board.label_a,
                board.label_b);
    char16_t wide[100];
    to_wide(label, wide, 100);
    sink.set_colour(0, 1, 0);
    draw_label(screen, wide, board.x, static_cast<int32_t>(static_cast<uint32_t>(board.y) - 2u), 500, 300);

    sink.set_colour(board.r, board.g, board.b);
    sink.set_line_stipple(true, 2, 0xAAAA);
    board_loop(sink, board, pitch);
    sink.set_line_stipple(false, 2, 0xAAAA);
}
