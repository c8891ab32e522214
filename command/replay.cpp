#include "command/replay.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/diag.h"
#include "app/startup.h"
#include "command/interpreter.h"

namespace {

// The header as read, kept for the rest of the run (at most 79 entries).
uint8_t header[(uninitialised_entry_count - 1) * command_entry_size + 8];
size_t header_size = 0;

uint32_t word_at(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void put_word(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads size bytes at offset; false when the image does not hold them all.
bool read_at(FILE* f, long offset, void* out, size_t size) {
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out, 1, size, f) == size;
}

void write_default_header(const char* path) {
    uint8_t bytes[default_header_size];
    default_command_header(bytes);
    FILE* f = std::fopen(path, "r+b");
    bool ok = f && std::fseek(f, command_header_address, SEEK_SET) == 0 &&
              std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) diag_print("Cannot write the default command header into %s: %s\n", path, std::strerror(errno));
}

}  // namespace

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

void replay_stored_script() { replay_stored_script_from(data_paths.spi_data); }

void replay_stored_script_from(const char* path) {
    reset_command_table();
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        diag_print("Cannot open %s: %s; nothing is replayed\n", path, std::strerror(errno));
        return;
    }
    std::fseek(f, 0, SEEK_END);
    const long image_size = std::ftell(f);
    uint8_t count_bytes[4];
    if (!read_at(f, command_header_address, count_bytes, 4)) {
        diag_print("%s ends before the command header at 0x%x; nothing is replayed\n", path,
                   command_header_address);
        std::fclose(f);
        return;
    }
    const uint32_t count = word_at(count_bytes);
    if (count >= uninitialised_entry_count) {
        std::fclose(f);
        write_default_header(path);
        return;
    }
    diag_print("cmd count is %x\n", count);
    header_size = count * command_entry_size + 8;
    diag_print("Size of Cmd Header allocated %x\r\n", static_cast<unsigned>(header_size));
    std::memset(header, 0, sizeof header);
    // Only the entries wholly inside the image are replayed.
    const long available = image_size - static_cast<long>(command_header_address);
    const size_t readable = available < static_cast<long>(header_size) ? static_cast<size_t>(available) : header_size;
    read_at(f, command_header_address, header, readable);
    diag_print("CmdEntryCount is %d\r\n", static_cast<int>(word_at(header)));
    const uint32_t present = readable < 8 ? 0 : static_cast<uint32_t>((readable - 8) / command_entry_size);
    if (present < count)
        diag_print("Cmd header cut short: %u of %u entries lie in the image\n", present, count);

    for (uint32_t i = 0; i < present; ++i) {
        const uint8_t* e = header + 8 + i * command_entry_size;
        const uint32_t type = word_at(e);
        const uint32_t enabled = word_at(e + 4);
        const uint32_t address = word_at(e + 36);
        const int32_t size = static_cast<int32_t>(word_at(e + 40));
        if (!enabled || size <= 0) continue;
        diag_print("Cmd type %x, data size %d\r\n", type, size);
        if (size > max_command_data) {
            diag_print("Invalid CmdDataSize for type %x\n", type);
            continue;
        }
        char line[max_command_data + 1];
        if (uint64_t{address} + static_cast<uint64_t>(size) > static_cast<uint64_t>(image_size) ||
            !read_at(f, static_cast<long>(address), line, static_cast<size_t>(size))) {
            diag_print("Cmd data for type %x lies outside the image; skipped\n", type);
            continue;
        }
        line[size] = '\0';
        // The command line ends at the first line feed; the payload follows.
        // Without a line feed the payload is empty.
        const char* payload = "";
        if (char* lf = std::strchr(line, '\n')) {
            *lf = '\0';
            payload = lf + 1;
        }
        run_command_line(static_cast<int32_t>(type), line, payload);
    }
    std::fclose(f);
}
