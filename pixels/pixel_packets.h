// The packets of the pixel protocols, written into caller-owned buffers
// (nothing allocated): DDP (Distributed Display Protocol), E1.31 (streaming
// ACN: DMX512 over UDP) and a binary PPM image. Layouts and sources in
// docs/pixel-outputs.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// --- DDP -------------------------------------------------------------------
constexpr int ddp_port = 4048;
constexpr size_t ddp_header_size = 10;
constexpr size_t ddp_max_data = 1440;   // 480 RGB pixels: a packet within a 1500-byte Ethernet frame
constexpr uint8_t ddp_flag_version1 = 0x40;
constexpr uint8_t ddp_flag_push = 0x01;
constexpr uint8_t ddp_type_rgb8 = 0x0B;   // type RGB (001), 8 bits a component (011)
constexpr uint8_t ddp_id_display = 1;      // the default output device

// Writes one DDP data packet (header and n <= ddp_max_data bytes of data
// at byte offset) into out (ddp_header_size + n bytes); returns its size.
// sequence is 1..15; push marks the frame's last packet.
size_t ddp_packet(uint8_t* out, uint8_t sequence, uint32_t offset, const uint8_t* data, size_t n, bool push);

// --- E1.31 -----------------------------------------------------------------
constexpr int e131_port = 5568;
constexpr int e131_max_universe = 63999;
constexpr size_t e131_data_header = 126;      // root, framing and DMP layers up to the DMX slots
constexpr size_t e131_max_slots = 512;
constexpr size_t e131_sync_size = 49;
constexpr uint8_t e131_option_terminated = 0x40;
constexpr int e131_default_priority = 100;

// One E1.31 data packet of slots DMX slots (after start code 0) for a
// universe, written into out (e131_data_header + slots bytes); returns its
// size. name is the source name (at most 63 bytes kept); options 0 or
// e131_option_terminated. sync is the synchronization universe (0: none).
size_t e131_data_packet(uint8_t* out, const uint8_t cid[16], const char* name, uint8_t priority, uint16_t sync,
                        uint8_t sequence, uint8_t options, uint16_t universe, const uint8_t* slots_data,
                        size_t slots);

// One E1.31 universe synchronization packet for sync universe sync
// (e131_sync_size bytes into out); returns its size.
size_t e131_sync_packet(uint8_t* out, const uint8_t cid[16], uint8_t sequence, uint16_t sync);

// The multicast group of a universe: 239.255.(u / 256).(u % 256), as a
// host-order IPv4 address.
uint32_t e131_multicast_group(uint16_t universe);

// The card's CID, a random UUID (version 4) kept in the file at path (16
// bytes): read when it is there and whole, else made and written
// (atomically). False with a message ("pixels: ...") when it cannot be
// kept; cid then still holds a usable fresh one.
bool e131_card_cid(const std::string& path, uint8_t cid[16], std::string* err);

// --- PPM -------------------------------------------------------------------
constexpr int ppm_port = 1337;
constexpr size_t udp_max_payload = 65507;   // an IPv4 UDP datagram's largest payload

// Writes the header of a binary PPM (P6) of width x height 8-bit RGB pixels
// into out (at least 32 bytes); returns its size.
size_t ppm_header(char* out, int width, int height);
