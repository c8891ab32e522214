// The command script as the card keeps it in flash, read from and written
// to an image held as bytes (byte offset = flash address). All numbers are
// 32-bit little-endian. At 0x10000 lies the header: the entry count, a word
// not read, then 48-byte entries:
//   0 type   4 enabled   8..35 not read   36 data address   40 data size
//   44 not read
// Each enabled entry's data is a command line, a line feed and a payload.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t command_header_address = 0x10000;
constexpr uint32_t command_entry_size = 48;
constexpr uint32_t uninitialised_entry_count = 80;   // this many or more: no header
constexpr uint32_t max_header_entries = uninitialised_entry_count - 1;
constexpr int32_t max_command_data = 512;
constexpr size_t default_header_size = 488;
// The window of flash the editor copies at start-up: 0x10000 to 0x12FFF.
constexpr uint32_t flash_window_start = 0x10000;
constexpr uint32_t flash_window_end = 0x13000;
// Largest flash image read whole (the largest flash a card carries).
constexpr size_t max_flash_image_bytes = size_t{16} << 20;

struct Command_entry {
    uint32_t type;
    uint32_t enabled;
    uint32_t address;   // flash address of the data
    int32_t size;       // bytes of data
};

struct Command_header {
    uint32_t count;     // entry count as stored
    uint32_t present;   // entries wholly inside the image (at most count)
    Command_entry entries[max_header_entries];
};

enum class Header_status {
    ok,              // header read; present may still be below count
    short_image,     // the image ends before the entry count
    uninitialised,   // entry count 80 or more: an erased or never-written flash
};

// Reads the header of image (size bytes).
Header_status read_command_header(const uint8_t* image, size_t size, Command_header* out);

// The data of entry e, when it lies wholly inside the image and its size is
// 1 to 512 bytes; otherwise null.
const uint8_t* command_entry_data(const uint8_t* image, size_t size, const Command_entry& e);

// The default header: 10 disabled entries of 64 bytes at 0x12000 + 0x40 k.
void default_command_header(uint8_t out[default_header_size]);

// Builds a stored script into image (size bytes, at least flash_window_end):
// the header at 0x10000 and each entry's data after it, within the flash
// window. Entries are added in order; finish writes the header.
class Command_image_writer {
public:
    Command_image_writer(uint8_t* image, size_t size);

    // Adds an enabled entry of the given type with data (1 to 512 bytes).
    // False when the header or the window is full, or the data is empty or
    // too long; nothing is added then.
    bool add(uint32_t type, const char* data, size_t length);

    // Writes the header (count and entries); returns the entries written.
    uint32_t finish();

    // The data area: right after room for the fullest header.
    static constexpr uint32_t data_start =
        command_header_address + 8 + max_header_entries * command_entry_size;

private:
    uint8_t* image_;
    size_t size_;
    uint32_t count_ = 0;
    uint32_t next_data_ = data_start;
    Command_entry entries_[max_header_entries];
};
