#include "command/flash_image.h"

#include <cstring>

namespace {

uint32_t word_at(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void put_word(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

Header_status read_command_header(const uint8_t* image, size_t size, Command_header* out) {
    out->count = out->present = 0;
    if (size < command_header_address + 4) return Header_status::short_image;
    const uint8_t* h = image + command_header_address;
    out->count = word_at(h);
    if (out->count >= uninitialised_entry_count) return Header_status::uninitialised;
    // Only the entries wholly inside the image are taken.
    const size_t after = size - command_header_address;
    const size_t whole = after < 8 ? 0 : (after - 8) / command_entry_size;
    out->present = whole < out->count ? static_cast<uint32_t>(whole) : out->count;
    for (uint32_t i = 0; i < out->present; ++i) {
        const uint8_t* e = h + 8 + i * command_entry_size;
        out->entries[i] = Command_entry{word_at(e), word_at(e + 4), word_at(e + 36),
                                        static_cast<int32_t>(word_at(e + 40))};
    }
    return Header_status::ok;
}

const uint8_t* command_entry_data(const uint8_t* image, size_t size, const Command_entry& e) {
    if (e.size <= 0 || e.size > max_command_data) return nullptr;
    if (uint64_t{e.address} + static_cast<uint64_t>(e.size) > size) return nullptr;
    return image + e.address;
}

void default_command_header(uint8_t out[default_header_size]) {
    std::memset(out, 0, default_header_size);
    put_word(out, 10);
    for (uint32_t k = 0; k < 10; ++k) {
        uint8_t* e = out + 8 + k * command_entry_size;
        put_word(e, k);                                // type
        put_word(e + 36, 0x12000 + 0x40 * k);          // data address
        put_word(e + 40, 0x40);                        // data size
    }
}

Command_image_writer::Command_image_writer(uint8_t* image, size_t size)
    : image_(image), size_(size), entries_{} {}

bool Command_image_writer::add(uint32_t type, const char* data, size_t length) {
    if (count_ == max_header_entries || length == 0 || length > max_command_data) return false;
    const size_t end = size_ < flash_window_end ? size_ : flash_window_end;
    if (next_data_ + length > end) return false;
    std::memcpy(image_ + next_data_, data, length);
    entries_[count_++] = Command_entry{type, 1, next_data_, static_cast<int32_t>(length)};
    next_data_ += static_cast<uint32_t>(length);
    return true;
}

uint32_t Command_image_writer::finish() {
    if (size_ < data_start) return 0;
    uint8_t* h = image_ + command_header_address;
    std::memset(h, 0, data_start - command_header_address);
    put_word(h, count_);
    for (uint32_t i = 0; i < count_; ++i) {
        uint8_t* e = h + 8 + i * command_entry_size;
        put_word(e, entries_[i].type);
        put_word(e + 4, entries_[i].enabled);
        put_word(e + 36, entries_[i].address);
        put_word(e + 40, static_cast<uint32_t>(entries_[i].size));
    }
    return count_;
}
