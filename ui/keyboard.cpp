#include "ui/keyboard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "render/shapes.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "ui/app_requests.h"
#include "ui/edit_steps.h"
#include "ui/menus.h"
#include "ui/mouse.h"
#include "ui/window_ops.h"

namespace {

// Width steps of Ctrl+G and Ctrl+N, unbounded as the keys are: they wrap
// instead of overflowing.
int32_t step(int32_t v, int32_t by) {
    return static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(by));
}

// Arrow-key steps of sizes, worked out in 64 bits and held to the 32-bit
// range: a field replayed from a scene file may hold any 32 bits (a
// negative size compares as a huge one and is stepped down), and the step
// stops at the range's end instead of overflowing.
void nudge(int32_t& field, int32_t by) {
    const int64_t v = int64_t{field} + by;
    field = static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

// The selected records, or null while nothing of that kind is selected.
string_draw* selected_text_record(Scene& scene) {
    return scene.selected_text < string_draw_count ? &scene.string_draws[scene.selected_text] : nullptr;
}

Digit_unit* selected_digit_record(Scene& scene) {
    if (scene.selected_digit_col >= digit_group_size || scene.selected_digit_row >= digit_groups_in_use) return nullptr;
    return &scene.digit_at(scene.selected_digit_row, scene.selected_digit_col);
}

led_unit* selected_board_record(Scene& scene) {
    if (scene.selected_board_col >= board_grid_cols || scene.selected_board_row >= board_grid_rows) return nullptr;
    return &scene.board_at(scene.selected_board_row, scene.selected_board_col);
}

// After a change of pitch: the boards scale about the sign's corner, and
// every element takes its place at the new pitch (on the sign, its LED).
void zoomed(Scene& scene) {
    lay_out_boards(scene);
    settle_positions_on_sign(scene);
}

// New shape of kind in group 0, in its lowest free record (never one in
// use: see free_records.h); its id is its index + 9.
void new_shape(Status_line& status, Scene& scene, uint8_t kind) {
    const int r = free_shape_record(scene, 0);
    if (r < 0) {
        status.set_failure("no free shape record: delete one");
        return;
    }
    Digit_unit& d = scene.digit_at(0, r);
    d.id = r + 9;
    scene.rect_count = std::max(scene.rect_count, r);
    const led_unit& board0 = scene.board_at(0, 0);
    d.colour = 0;
    d.x = static_cast<uint32_t>(board0.x);
    d.y = static_cast<uint32_t>(board0.y);
    d.pitch = scene.dot_pitch;   // placed now, at the current pitch
    d.width = 20;
    d.height = 10;
    d.kind = kind;
    d.enabled = 1;
    ++scene.shapes_made;
}

// New text in the lowest free text record (from 5: the left panel's are
// never taken), inline: it shows its own bytes.
void new_text(Status_line& status, Scene& scene) {
    const int r = free_text_record(scene);
    if (r < 0) {
        status.set_failure("no free text record: delete one");
        return;
    }
    string_draw& s = scene.string_draws[r];
    s.slot = r;
    scene.text_count = std::max(scene.text_count, r);
    const led_unit& board0 = scene.board_at(0, 0);
    s.font_size = 16;
    s.colour = 0;
    s.text_source = 0;
    s.x = static_cast<uint32_t>(board0.x);
    s.y = static_cast<uint32_t>(board0.y);
    s.pitch = scene.dot_pitch;
    std::memset(s.text, 0, sizeof s.text);
    std::memcpy(s.text, "Txt", 4);
    s.length = 3;
    s.enabled = 1;
    ++scene.texts_made;
}

}  // namespace


static void apply_paste(Status_line& status, Scene& scene, const char* utf8) {
    string_draw* text = selected_text_record(scene);
    if (!text) {
        status.set_status("paste: select a text first (click it), then Ctrl+V");
        return;
    }
    std::string missing;
    bool cut = false;
    const int32_t room = static_cast<int32_t>(sizeof text->text) - 1;
    if (text->length < 0 || text->length > room) return;
    // One character at a time, so that one GBK lacks is named and left out
    // and the rest still goes in.
    for (const char* p = utf8; *p;) {
        size_t n = 1;
        const auto lead = static_cast<uint8_t>(*p);
        if (lead >= 0xF0) n = 4;
        else if (lead >= 0xE0) n = 3;
        else if (lead >= 0xC0) n = 2;
        for (size_t k = 1; k < n; ++k)
            if (!p[k]) n = k;
        char one[8] = {}, gbk[8] = {};
        std::memcpy(one, p, n);
        p += n;
        if (one[0] == '\r' || one[0] == '\n' || one[0] == '\t') one[0] = ' ', one[1] = 0;
        if (static_cast<uint8_t>(one[0]) < 0x20) continue;   // other control bytes: nothing to show
        const size_t got = platform_utf8_to_gbk(one, gbk, sizeof gbk);
        // The converter writes '?' for what GBK lacks.
        bool lacking = got == 0 || one[0] != '?';
        for (size_t k = 0; k < got && lacking; ++k) lacking = gbk[k] == '?';
        if (lacking) {
            // Named by its code point too: the status line itself is GBK.
            uint32_t cp = n == 1 ? lead : lead & (0x3F >> (n - 1));
            for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<uint8_t>(one[k]) & 0x3F);
            char name[32];
            std::snprintf(name, sizeof name, "%s%s (U+%04X)", missing.empty() ? "" : ", ", one, cp);
            if (missing.find(one) == std::string::npos) missing += name;
            continue;
        }
        if (text->length + static_cast<int32_t>(got) > room) {
            cut = true;
            break;
        }
        std::memcpy(text->text + text->length, gbk, got);
        text->length += static_cast<int32_t>(got);
        text->text[text->length] = 0;
    }
    if (!missing.empty())
        status.set_status(("paste: left out what the sign's fonts cannot show (not in GBK): " + missing).c_str());
    else if (cut)
        status.set_status("paste: the text is full (511 bytes); the rest was left out");
}

static void apply_key(Ui_state& ui, Scene& scene, uint8_t key) {
    Input_state& in = ui.input;
    in.last_key = key;
    if (in.help_shown) {   // any key closes the help, and does nothing else
        in.help_shown = false;
        return;
    }
    string_draw* text = selected_text_record(scene);
    Digit_unit* digit = selected_digit_record(scene);
    switch (key) {
        case 1:   // Ctrl+A: zoom out, never below 2
            if (scene.dot_pitch >= 3) set_dot_pitch(scene, scene.dot_pitch - 1);
            zoomed(scene);
            break;
        case 2:   // Ctrl+B: the text's bold flag (kept in scene.conf; nothing draws bold)
            if (text) text->bold_flag = 1;
            break;
        case 3:   // Ctrl+C: no action, and not typed into the text
            break;
        case 4: new_shape(ui.status, scene, kind_rect); break;   // Ctrl+D
        case 5: new_text(ui.status, scene); break;             // Ctrl+E
        case 6:   // Ctrl+F: font size 12, 16, 24, 32, 12, ...
            if (text) {
                if (++in.size_cycle == 4) in.size_cycle = 0, text->font_size = 32;
                else if (in.size_cycle == 3) text->font_size = 24;
                else if (in.size_cycle == 2) text->font_size = 16;
                else if (in.size_cycle == 1) text->font_size = 12;
            }
            break;
        case 7:   // Ctrl+G
            if (text) text->width = step(text->width, 1);
            break;
        case 8:   // Backspace
            if (text && text->length >= 1 && text->length <= static_cast<int32_t>(sizeof text->text)) {
                text->text[text->length - 1] = 0;
                --text->length;
                in.typed_into = scene.selected_text;
                text->text_source = 0;   // typed into: its own bytes, no longer the panel's file
            }
            break;
        case 11:   // Ctrl+K: next colour of the selected text and digit
            if (text) text->colour = static_cast<int32_t>((int64_t{text->colour} + 1) % 3);
            if (digit) digit->colour = static_cast<uint8_t>((digit->colour + 1) % 3);
            break;
        case 12:   // Ctrl+L
            if (text) text->font_size = 12;
            break;
        case 13:   // Enter: the scene to the card
            settle_after_edit(scene);   // the card gets what the next frame shows
            if (ui.requests) ui.requests->live_send(scene, ui.status);
            break;
        case 14:   // Ctrl+N
            if (text) text->width = step(text->width, -1);
            break;
        case 17:   // Ctrl+Q: zoom in, at most 255
            set_dot_pitch(scene, scene.dot_pitch + 1);
            zoomed(scene);
            break;
        case 19:   // Ctrl+S: end at once, without saving
            window_quit(ui.window.ops, 0);
            break;
        case 22:   // Ctrl+V: the clipboard's text into the selected text
            if (ui.requests) paste_text(ui, scene, ui.requests->clipboard_text(ui.status).c_str());
            break;
        case 25:   // Ctrl+Y: redo
            redo_edit(ui, scene);
            break;
        case 26:   // Ctrl+Z: undo; with Shift, redo
            if (window_shift_held(ui.window.ops))
                redo_edit(ui, scene);
            else
                undo_edit(ui, scene);
            break;
        case 127:   // Delete: the selected or held element
            delete_selected(ui, scene);
            break;
        default:   // typing, up to a full text field (511 bytes and the NUL)
            if (text && text->length >= 0 && text->length < static_cast<int32_t>(sizeof text->text) - 1) {
                text->text[text->length] = static_cast<char>(key);
                text->text[text->length + 1] = 0;
                ++text->length;
                in.typed_into = scene.selected_text;
                text->text_source = 0;   // typed into: its own bytes, no longer the panel's file
            }
            break;
    }
}

static void apply_special_key(Ui_state& ui, Scene& scene, int key) {
    Input_state& in = ui.input;
    if (in.help_shown) {
        in.help_shown = false;
        return;
    }
    if (key == key_f1) {
        in.help_shown = true;
        return;
    }
    Digit_unit* digit = selected_digit_record(scene);
    string_draw* grabbed = in.text_grabbed && !in.board_grabbed ? selected_text_record(scene) : nullptr;
    // Bounds of digit and board fields compare unsigned, text widths signed.
    auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    switch (key) {
        case key_left:
            if (digit && digit->kind == kind_digit) {
                if (u(digit->digits) > 1) nudge(digit->digits, -1);
            } else if (in.text_grabbed && !in.board_grabbed) {
                if (grabbed && grabbed->width > 4) nudge(grabbed->width, -1);
            } else if (digit && u(digit->width) > 4) {
                nudge(digit->width, -1);
            }
            break;
        case key_right:
            if (in.digit_grabbed && scene.selected_digit_col < 33) {
                if (digit && u(digit->digits) < 4) nudge(digit->digits, 1);
            } else if (in.text_grabbed && !in.board_grabbed) {
                if (grabbed && grabbed->width < 1000) nudge(grabbed->width, 1);
            } else if (digit && u(digit->width) < 1000) {
                nudge(digit->width, 1);
            }
            break;
        case key_up:
            if (in.board_grabbed && !in.digit_grabbed) {
                // The boards form one grid: every board takes board (0, 0)'s size.
                led_unit* board = selected_board_record(scene) ? &scene.board_at(0, 0) : nullptr;
                if (board && u(board->height) > 16) nudge(board->height, -16);
                lay_out_boards(scene);
            }
            if (digit) {
                if (digit->kind == kind_digit) {
                    if (u(digit->param_a) > 2) nudge(digit->param_a, -1);
                } else if (u(digit->height) > 1) {
                    nudge(digit->height, -1);
                }
            }
            break;
        case key_down:
            if (in.board_grabbed && !in.digit_grabbed) {
                led_unit* board = selected_board_record(scene) ? &scene.board_at(0, 0) : nullptr;
                if (board && u(board->height) < 17) nudge(board->height, 16);
                lay_out_boards(scene);
            }
            if (digit) {
                if (digit->kind == kind_digit) {
                    if (u(digit->param_a) < 38) nudge(digit->param_a, 1);
                } else if (u(digit->height) < 1000) {
                    nudge(digit->height, 1);
                }
            }
            break;
        case key_page_up:
            if (in.digit_grabbed && !in.board_grabbed && digit) {
                in.style_cycle = (in.style_cycle + 1) % 3;
                digit->param_b = in.style_cycle + 1;
            }
            break;
        case key_page_down:
            if (in.digit_grabbed && !in.board_grabbed && digit) {
                digit->colour = static_cast<uint8_t>((digit->colour + 1) % 3);
            } else if (grabbed) {
                grabbed->colour = static_cast<int32_t>((int64_t{grabbed->colour} + 1) % 3);
            }
            break;
        default:
            break;
    }
}

// Each input settles what it changed before the next frame shows it, and
// the change becomes an undo step.
void on_key(Ui_state& ui, Scene& scene, uint8_t key, int, int) {
    ui.input.typed_into = -1;
    apply_key(ui, scene, key);
    settle_after_edit(scene);
    if (key == 25 || key == 26) return;   // undo and redo leave the history as they made it
    if (ui.input.typed_into >= 0)
        record_input_edit(ui, scene, Edit_history::step_typing, ui.input.typed_into);
    else
        record_input_edit(ui, scene);
}

void on_special_key(Ui_state& ui, Scene& scene, int key, int x, int y) {
    if (key == key_delete && !ui.input.help_shown) {
        on_key(ui, scene, 127, x, y);
        return;
    }
    apply_special_key(ui, scene, key);
    settle_after_edit(scene);
    record_input_edit(ui, scene);
}

void paste_text(Ui_state& ui, Scene& scene, const char* utf8) {
    apply_paste(ui.status, scene, utf8);
    settle_after_edit(scene);
    record_input_edit(ui, scene);
}
