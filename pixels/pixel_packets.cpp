#include "pixels/pixel_packets.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/platform.h"

namespace {

void put16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The ACN root layer's preamble: preamble size, postamble size and the
// packet identifier "ASC-E1.17" padded with NULs to 12 bytes.
void root_preamble(uint8_t* out) {
    static const uint8_t preamble[16] = {0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-',
                                         'E',  '1',  '.',  '1',  '7', 0,   0,   0};
    std::memcpy(out, preamble, 16);
}

// A PDU's flags and length: flags 0x7 (vector, header and data present)
// above a 12-bit length counted from the field itself to the packet's end.
void flags_length(uint8_t* p, size_t length) { put16(p, 0x7000u | static_cast<unsigned>(length & 0x0FFF)); }

}  // namespace

size_t ddp_packet(uint8_t* out, uint8_t sequence, uint32_t offset, const uint8_t* data, size_t n, bool push) {
    out[0] = static_cast<uint8_t>(ddp_flag_version1 | (push ? ddp_flag_push : 0));
    out[1] = static_cast<uint8_t>(sequence & 0x0F);
    out[2] = ddp_type_rgb8;
    out[3] = ddp_id_display;
    put32(out + 4, offset);
    put16(out + 8, static_cast<unsigned>(n));
    std::memcpy(out + ddp_header_size, data, n);
    return ddp_header_size + n;
}

size_t e131_data_packet(uint8_t* out, const uint8_t cid[16], const char* name, uint8_t priority, uint16_t sync,
                        uint8_t sequence, uint8_t options, uint16_t universe, const uint8_t* slots_data,
                        size_t slots) {
    const size_t total = e131_data_header + slots;
    // Root layer (octets 0-37).
    root_preamble(out);
    flags_length(out + 16, total - 16);
    put32(out + 18, 0x00000004);   // VECTOR_ROOT_E131_DATA
    std::memcpy(out + 22, cid, 16);
    // Framing layer (38-114).
    flags_length(out + 38, total - 38);
    put32(out + 40, 0x00000002);   // VECTOR_E131_DATA_PACKET
    std::memset(out + 44, 0, 64);
    std::strncpy(reinterpret_cast<char*>(out + 44), name, 63);
    out[108] = priority;
    put16(out + 109, sync);
    out[111] = sequence;
    out[112] = options;
    put16(out + 113, universe);
    // DMP layer (115-): set property, one address, start code then slots.
    flags_length(out + 115, total - 115);
    out[117] = 0x02;   // VECTOR_DMP_SET_PROPERTY
    out[118] = 0xA1;   // address and data type
    put16(out + 119, 0x0000);   // first property address
    put16(out + 121, 0x0001);   // address increment
    put16(out + 123, static_cast<unsigned>(slots + 1));
    out[125] = 0x00;   // DMX512 start code: dimmer data
    std::memcpy(out + 126, slots_data, slots);
    return total;
}

size_t e131_sync_packet(uint8_t* out, const uint8_t cid[16], uint8_t sequence, uint16_t sync) {
    root_preamble(out);
    flags_length(out + 16, e131_sync_size - 16);
    put32(out + 18, 0x00000008);   // VECTOR_ROOT_E131_EXTENDED
    std::memcpy(out + 22, cid, 16);
    flags_length(out + 38, e131_sync_size - 38);
    put32(out + 40, 0x00000001);   // VECTOR_E131_EXTENDED_SYNCHRONIZATION
    out[44] = sequence;
    put16(out + 45, sync);
    put16(out + 47, 0);   // reserved
    return e131_sync_size;
}

uint32_t e131_multicast_group(uint16_t universe) {
    return (239u << 24) | (255u << 16) | static_cast<uint32_t>(universe >> 8) << 8 | (universe & 0xFFu);
}

bool e131_card_cid(const std::string& path, uint8_t cid[16], std::string* err) {
    std::vector<uint8_t> kept;
    std::string read_err;
    if (platform_read_file(path.c_str(), 64, &kept, &read_err) && kept.size() == 16) {
        std::memcpy(cid, kept.data(), 16);
        return true;
    }
    std::random_device random;
    for (int i = 0; i < 16; i += 4) {
        const uint32_t r = random();
        std::memcpy(cid + i, &r, 4);
    }
    cid[6] = static_cast<uint8_t>((cid[6] & 0x0F) | 0x40);   // version 4: random
    cid[8] = static_cast<uint8_t>((cid[8] & 0x3F) | 0x80);   // the RFC 4122 variant
    if (!platform_write_file_atomic(path.c_str(), cid, 16, err)) {
        *err = "pixels: cannot keep the card's CID: " + *err;
        return false;
    }
    return true;
}

size_t ppm_header(char* out, int width, int height) {
    return static_cast<size_t>(std::snprintf(out, 32, "P6\n%d %d\n255\n", width, height));
}
