// Replay of the command script stored in the controller card's flash. The
// local image (file offset = flash address) holds at 0x10000 a header: the
// entry count, a word not read, then 48-byte entries (type, enabled, 28
// bytes not read, data address, data size, a word not read), all 32-bit
// little-endian. Each enabled entry's data is a command line, a line feed
// and a payload; the line is run through the interpreter.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t command_header_address = 0x10000;
constexpr uint32_t command_entry_size = 48;
constexpr uint32_t uninitialised_entry_count = 80;   // this many or more: no header
constexpr int32_t max_command_data = 512;
constexpr size_t default_header_size = 488;

// Replays the script of the local flash image (spi_data.bin beside the
// program). An image without a header (entry count 80 or more, as an erased
// flash reads) gets the default header written into it and nothing is
// replayed. Diagnostics go through diag_print.
void replay_stored_script();

// The same for the image at path.
void replay_stored_script_from(const char* path);

// The default header: 10 disabled entries of 64 bytes at 0x12000 + 0x40 k.
void default_command_header(uint8_t out[default_header_size]);
