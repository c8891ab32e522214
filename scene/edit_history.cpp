#include "scene/edit_history.h"

#include "scene/view_state.h"

#include <cstring>
#include <new>
#include <type_traits>

namespace {

constexpr size_t word = 8;
// Runs closer than this many equal words are joined: a run's header costs
// as much as one word of equal bytes carried along.
constexpr size_t join_gap_words = 1;

struct Run_header {
    uint32_t offset;
    uint32_t length;
};

uint64_t word_at(const uint8_t* p, size_t at, size_t end) {
    uint64_t w = 0;
    std::memcpy(&w, p + at, at + word <= end ? word : end - at);
    return w;
}

// Calls run(offset, length) for each run of bytes where a and b differ,
// in whole words (the last word may be short), runs closer than the join
// gap taken together.
// Blocks of this many bytes that are equal throughout are passed over in
// one comparison: an edit changes a few records of a scene of 700 KB.
constexpr size_t block = 4096;

template <class Run>
void for_each_run(const uint8_t* a, const uint8_t* b, size_t n, Run run) {
    size_t at = 0, start = 0, last_end = 0;
    bool open = false;
    while (at < n) {
        const size_t block_end = at + block < n ? at + block : n;
        if (std::memcmp(a + at, b + at, block_end - at) == 0) {
            if (open) run(start, last_end - start);   // a whole block of equal words ends it
            open = false;
            at = block_end;
            continue;
        }
        for (; at < block_end; at += word) {
            if (word_at(a, at, n) != word_at(b, at, n)) {
                const size_t end = at + word <= n ? at + word : n;
                if (!open) {
                    start = at;
                    open = true;
                }
                last_end = end;
            } else if (open && at >= last_end + join_gap_words * word) {
                run(start, last_end - start);
                open = false;
            }
        }
    }
    if (open) run(start, last_end - start);
}

// Undo keeps scenes as bytes: copies, comparisons and runs of differing
// bytes. That holds only for a trivially copyable Scene.
static_assert(std::is_trivially_copyable_v<Scene>);

const uint8_t* bytes_of(const Scene& s) { return reinterpret_cast<const uint8_t*>(&s); }
uint8_t* bytes_of(Scene& s) { return reinterpret_cast<uint8_t*>(&s); }

// What follows the window, not the scene's content.
struct View {
    int32_t mouse_x, mouse_y, view_width, view_height, close_x;
};

View view_of(const Scene& s) {
    return {s.mouse_x, s.mouse_y, s.view_width, s.view_height, s.toolbar_menu[toolbar_menu_count - 1].x};
}

void set_view(Scene& s, const View& v) {
    s.mouse_x = v.mouse_x;
    s.mouse_y = v.mouse_y;
    s.view_width = v.view_width;
    s.view_height = v.view_height;
    s.toolbar_menu[toolbar_menu_count - 1].x = v.close_x;
}

struct Selection {
    uint8_t board_col, board_row, digit_col, digit_row, text;
    uint16_t graph;
};

Selection selection_of(const Scene& s) {
    return {s.selected_board_col, s.selected_board_row, s.selected_digit_col, s.selected_digit_row,
            s.selected_text, s.selected_graph};
}

void set_selection(Scene& s, const Selection& v) {
    s.selected_board_col = v.board_col;
    s.selected_board_row = v.board_row;
    s.selected_digit_col = v.digit_col;
    s.selected_digit_row = v.digit_row;
    s.selected_text = v.text;
    s.selected_graph = v.graph;
}

}  // namespace

Edit_history::Edit_history() = default;
Edit_history::~Edit_history() = default;

bool Edit_history::start(const Scene& scene) {
    if (!base_) {
        base_.reset(new (std::nothrow) Scene);
        scratch_.reset(new (std::nothrow) Scene);
        buffer_.reset(new (std::nothrow) uint8_t[step_buffer_bytes]);
        if (!base_ || !scratch_ || !buffer_) {
            base_.reset();
            scratch_.reset();
            buffer_.reset();
            return false;
        }
    }
    std::memcpy(static_cast<void*>(base_.get()), bytes_of(scene), sizeof scene);
    count_ = cursor_ = 0;
    used_ = 0;
    joinable_ = false;
    return true;
}

void Edit_history::stop() {
    base_.reset();
    scratch_.reset();
    buffer_.reset();
    count_ = cursor_ = 0;
    used_ = 0;
    joinable_ = false;
}

void Edit_history::take_view(const Scene& scene) { set_view(*base_, view_of(scene)); }

size_t Edit_history::diff_size(const Scene& scene) const {
    size_t total = 0;
    for_each_run(bytes_of(*base_), bytes_of(scene), sizeof scene,
                 [&](size_t, size_t length) { total += sizeof(Run_header) + length; });
    return total;
}

void Edit_history::write_diff(const Scene& scene) {
    const uint8_t* a = bytes_of(*base_);
    const uint8_t* b = bytes_of(scene);
    uint8_t* out = buffer_.get() + used_;
    for_each_run(a, b, sizeof scene, [&](size_t offset, size_t length) {
        const Run_header h{static_cast<uint32_t>(offset), static_cast<uint32_t>(length)};
        std::memcpy(out, &h, sizeof h);
        out += sizeof h;
        for (size_t i = 0; i < length; ++i) out[i] = a[offset + i] ^ b[offset + i];
        out += length;
    });
}

void Edit_history::apply(int k, Scene& target) const {
    const uint8_t* in = buffer_.get() + steps_[k].offset;
    const uint8_t* end = in + steps_[k].size;
    uint8_t* t = bytes_of(target);
    while (in < end) {
        Run_header h;
        std::memcpy(&h, in, sizeof h);
        in += sizeof h;
        for (uint32_t i = 0; i < h.length; ++i) t[h.offset + i] ^= in[i];
        in += h.length;
    }
}

void Edit_history::truncate(int from) {
    if (from >= count_) return;
    used_ = steps_[from].offset;
    count_ = from;
    if (cursor_ > count_) cursor_ = count_;
}

void Edit_history::make_room(size_t room) {
    int drop = 0;
    size_t freed = 0;
    // A full table drops an eighth of it at once, so the move below is rare.
    if (count_ >= max_steps) drop = max_steps / 8;
    for (int k = 0; k < drop; ++k) freed += steps_[k].size;
    while (drop < count_ && used_ - freed + room > step_buffer_bytes) freed += steps_[drop++].size;
    if (drop == 0) return;
    std::memmove(buffer_.get(), buffer_.get() + freed, used_ - freed);
    for (int k = drop; k < count_; ++k) {
        steps_[k - drop] = steps_[k];
        steps_[k - drop].offset -= freed;
    }
    count_ -= drop;
    cursor_ = cursor_ > drop ? cursor_ - drop : 0;
    used_ -= freed;
}

bool Edit_history::selection_only(const Scene& scene) {
    if (diff_size(scene) == 0) return true;
    std::memcpy(static_cast<void*>(scratch_.get()), bytes_of(*base_), sizeof scene);
    set_selection(*scratch_, selection_of(scene));
    settle_after_edit(*scratch_);
    return std::memcmp(bytes_of(*scratch_), bytes_of(scene), sizeof scene) == 0;
}

void Edit_history::record(const Scene& scene, Step_kind kind, int target) {
    if (!base_) return;
    take_view(scene);
    bool selection_changed = false;
    if (selection_only(scene)) {
        if (diff_size(scene) == 0) return;
        selection_changed = true;
        // A new selection: a click elsewhere ends a run of typing. It joins
        // the newest step's end, so that undoing the next step selects
        // what was selected before it. (Before the first step, or while
        // steps are undone, it stays pending: see settle_pending.)
        joinable_ = false;
        if (count_ == 0 || cursor_ != count_) return;
        const Step top = steps_[count_ - 1];
        apply(count_ - 1, *base_);
        truncate(count_ - 1);
        kind = top.kind;
        target = top.target;
    }

    // Typing into the text the newest step typed into: that step grows.
    if (kind == step_typing && joinable_ && cursor_ == count_ && count_ > 0 &&
        steps_[count_ - 1].kind == step_typing && steps_[count_ - 1].target == target) {
        apply(count_ - 1, *base_);
        truncate(count_ - 1);
    }
    truncate(cursor_);
    const size_t size = diff_size(scene);
    if (size > step_buffer_bytes) {   // larger than the whole history: start again from here
        start(scene);
        return;
    }
    make_room(size);
    write_diff(scene);
    steps_[count_] = Step{used_, size, kind, target};
    used_ += size;
    apply(count_, *base_);
    cursor_ = ++count_;
    joinable_ = kind == step_typing && !selection_changed;
    ++changes_;
}

// Before an undo or a redo: a pending edit becomes a step; a pending
// change of selection is put back, so the step's bytes meet the state they
// were taken from.
void Edit_history::settle_pending(Scene& scene) {
    take_view(scene);
    if (selection_only(scene))
        revert(scene);
    else
        record(scene);
    joinable_ = false;
}

bool Edit_history::undo(Scene& scene) {
    if (!base_) return false;
    settle_pending(scene);   // with nothing to undo, the selection still goes back
    if (cursor_ == 0) return false;
    --cursor_;
    apply(cursor_, scene);
    apply(cursor_, *base_);
    ++changes_;
    return true;
}

bool Edit_history::redo(Scene& scene) {
    if (!base_ || cursor_ == count_) return false;
    settle_pending(scene);
    if (cursor_ == count_) return false;
    apply(cursor_, scene);
    apply(cursor_, *base_);
    ++cursor_;
    ++changes_;
    return true;
}

void Edit_history::revert(Scene& scene) const {
    if (!base_) return;
    const View keep = view_of(scene);
    std::memcpy(static_cast<void*>(&scene), bytes_of(*base_), sizeof scene);
    set_view(scene, keep);
}

size_t Edit_history::newest_step_bytes() const { return count_ > 0 ? steps_[count_ - 1].size : 0; }
