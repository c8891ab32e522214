// The pixel outputs: the order of the chain for every start corner, rows
// or columns, zig-zag and a panel tiling; colours and brightness; DDP and
// E1.31 packets decoded by the published layouts (docs/pixel-outputs.md)
// as a receiver on 127.0.0.1 gets them; the multicast groups (computed,
// never sent to); the sender's pace, keep-alive and end of stream.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include "card/screen_feed.h"
#include "pixels/pixel_map.h"
#include "pixels/pixel_outputs.h"
#include "pixels/pixel_packets.h"

namespace {

// --- the order of the chain ---------------------------------------------------

// (x, y) of every chain pixel over a w x h area.
std::vector<std::pair<int, int>> chain(const Pixel_mapping& m, int w, int h) {
    Pixel_map map;
    std::string err;
    EXPECT_TRUE(map.make(w, h, Pixel_area{0, 0, w, h}, m, &err)) << err;
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < map.pixel_count(); ++i)
        out.emplace_back(static_cast<int>(map.source(i) % static_cast<uint32_t>(w)),
                         static_cast<int>(map.source(i) / static_cast<uint32_t>(w)));
    return out;
}

TEST(PixelMap, EveryCornerRowsOrColumnsAndZigZagIsTheChainItsNamesSay) {
    const int w = 5, h = 3;
    for (int corner = 0; corner < 4; ++corner)
        for (int columns = 0; columns < 2; ++columns)
            for (int serpentine = 0; serpentine < 2; ++serpentine) {
                Pixel_mapping m;
                m.pixels = Pixel_order{static_cast<Pixel_corner>(corner), columns != 0, serpentine != 0};
                SCOPED_TRACE(std::string(pixel_corner_name(m.pixels.corner)) + (columns ? " columns" : " rows") +
                             (serpentine ? " serpentine" : ""));
                const auto c = chain(m, w, h);
                ASSERT_EQ(c.size(), size_t(w * h));
                // Every LED once.
                std::set<std::pair<int, int>> seen(c.begin(), c.end());
                EXPECT_EQ(seen.size(), size_t(w * h));
                // Pixel 0 in the named corner.
                const bool right = corner == 1 || corner == 3, bottom = corner >= 2;
                EXPECT_EQ(c[0], std::make_pair(right ? w - 1 : 0, bottom ? h - 1 : 0));
                // The first line runs along the row or down the column, away
                // from the corner.
                if (columns)
                    EXPECT_EQ(c[1], std::make_pair(c[0].first, c[0].second + (bottom ? -1 : 1)));
                else
                    EXPECT_EQ(c[1], std::make_pair(c[0].first + (right ? -1 : 1), c[0].second));
                const int run = columns ? h : w;
                for (int k = 1; k < w * h; ++k) {
                    const int dx = std::abs(c[k].first - c[k - 1].first), dy = std::abs(c[k].second - c[k - 1].second);
                    if (k % run != 0) {
                        EXPECT_EQ(dx + dy, 1) << "pixel " << k << " is not beside the one before it";
                    } else if (serpentine) {
                        // A zig-zag turns at the line's end: the next line starts beside it.
                        EXPECT_EQ(dx + dy, 1) << "pixel " << k << " does not turn beside the end of its line";
                    } else {
                        // Each line starts on the corner's side again.
                        if (columns)
                            EXPECT_EQ(c[k].second, c[0].second) << "pixel " << k;
                        else
                            EXPECT_EQ(c[k].first, c[0].first) << "pixel " << k;
                    }
                }
            }
}

TEST(PixelMap, DefaultIsRowByRowFromTheTopLeft) {
    const auto c = chain(Pixel_mapping{}, 4, 3);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(c[i], std::make_pair(i % 4, i / 4));
}

TEST(PixelMap, PanelsAreChainedInTheirOrderAndFilledInThePixelOrder) {
    // Four panels of 3 x 2 on a 6 x 4 screen, chained down the columns of
    // panels from the top-left; inside each panel a zig-zag from its
    // bottom-left, along rows. Numbers written out by hand:
    //    5  4  3 | 17 16 15
    //    0  1  2 | 12 13 14
    //   ---------+---------
    //   11 10  9 | 23 22 21
    //    6  7  8 | 18 19 20
    Pixel_mapping m;
    m.pixels = Pixel_order{Pixel_corner::bottom_left, false, true};
    m.panel_width = 3;
    m.panel_height = 2;
    m.panels = Pixel_order{Pixel_corner::top_left, true, false};
    const int want[4][6] = {{5, 4, 3, 17, 16, 15}, {0, 1, 2, 12, 13, 14}, {11, 10, 9, 23, 22, 21}, {6, 7, 8, 18, 19, 20}};
    const auto c = chain(m, 6, 4);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(want[c[i].second][c[i].first], i) << "at " << c[i].first << "," << c[i].second;
}

TEST(PixelMap, PanelsThatDoNotTileAndAreasBeyondTheScreenAreRefused) {
    Pixel_mapping m;
    m.panel_width = 16;
    m.panel_height = 16;
    Pixel_map map;
    std::string err;
    EXPECT_FALSE(map.make(64, 40, Pixel_area{0, 0, 64, 40}, m, &err));
    EXPECT_NE(err.find("do not tile"), std::string::npos) << err;
    EXPECT_TRUE(map.make(64, 40, Pixel_area{0, 8, 64, 32}, m, &err)) << err;
    EXPECT_FALSE(map.make(64, 40, Pixel_area{32, 8, 64, 32}, Pixel_mapping{}, &err));
    EXPECT_NE(err.find("not within"), std::string::npos) << err;
}

TEST(PixelMap, CropCarriesItsPartOfTheScreen) {
    Pixel_map map;
    std::string err;
    ASSERT_TRUE(map.make(10, 6, Pixel_area{4, 2, 3, 2}, Pixel_mapping{}, &err)) << err;
    const uint32_t want[] = {24, 25, 26, 34, 35, 36};
    ASSERT_EQ(map.pixel_count(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(map.source(i), want[i]);
}

TEST(PixelMap, ThePictureNumbersEveryPlaceAndShowsPanels) {
    Pixel_mapping m;
    m.pixels.serpentine = true;
    const std::string small = pixel_map_picture(m, 3, 2);
    EXPECT_NE(small.find(" 0 1 2\n 5 4 3\n"), std::string::npos) << small;
    m.panel_width = 64;
    m.panel_height = 32;
    const std::string big = pixel_map_picture(m, 256, 128);
    EXPECT_NE(big.find("An example"), std::string::npos) << big;
    EXPECT_NE(big.find('|'), std::string::npos) << big;
}

// --- colours ------------------------------------------------------------------

TEST(PixelColours, BrightnessScalesTheSetColoursAndUnlitIsBlack) {
    Pixel_colours c;
    c.rgb[2][0] = 200;
    c.rgb[2][1] = 100;
    c.rgb[2][2] = 9;
    Pixel_palette p;
    for (int never : {-1, 0, 10}) {
        pixel_palette_make(c, never, &p);
        EXPECT_EQ(p.rgb[0][0], 255);
        EXPECT_EQ(p.rgb[1][1], 255);
        EXPECT_EQ(p.rgb[2][1], 100);
    }
    pixel_palette_make(c, 1, &p);   // brightest: (10 - 1) / 9
    EXPECT_EQ(p.rgb[2][0], 200);
    pixel_palette_make(c, 5, &p);   // 5/9: 255 -> 141.7, 200 -> 111.1, 9 -> 5
    EXPECT_EQ(p.rgb[0][0], 142);
    EXPECT_EQ(p.rgb[0][1], 0);
    EXPECT_EQ(p.rgb[2][0], 111);
    EXPECT_EQ(p.rgb[2][2], 5);
    pixel_palette_make(c, 9, &p);   // 1/9
    EXPECT_EQ(p.rgb[1][1], 28);
    for (int code : {3, 0x7F, int(Led_framebuffer::dark)})
        for (int k = 0; k < 3; ++k) EXPECT_EQ(p.rgb[code][k], 0);
}

// --- parsing --------------------------------------------------------------------

TEST(PixelOptions, HostsCropsColoursAndSizesAreReadOrRefused) {
    std::string host, err;
    int port = 0;
    EXPECT_TRUE(pixel_parse_host("10.0.0.5", 4048, &host, &port, &err));
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 4048);
    EXPECT_TRUE(pixel_parse_host("panel:6454", 4048, &host, &port, &err));
    EXPECT_EQ(port, 6454);
    EXPECT_FALSE(pixel_parse_host("panel:70000", 4048, &host, &port, &err));
    EXPECT_FALSE(pixel_parse_host(":5", 4048, &host, &port, &err));
    Pixel_area a;
    EXPECT_TRUE(pixel_parse_crop("0,16,64,16", &a, &err));
    EXPECT_EQ(a.y, 16);
    EXPECT_EQ(a.width, 64);
    EXPECT_FALSE(pixel_parse_crop("0,16,64", &a, &err));
    EXPECT_FALSE(pixel_parse_crop("0,16,0,16", &a, &err));
    uint8_t rgb[3];
    EXPECT_TRUE(pixel_parse_rgb("255,128,0", rgb, &err));
    EXPECT_EQ(rgb[1], 128);
    EXPECT_FALSE(pixel_parse_rgb("256,0,0", rgb, &err));
    int w, h;
    EXPECT_TRUE(pixel_parse_size("32x16", &w, &h, &err));
    EXPECT_EQ(h, 16);
    EXPECT_FALSE(pixel_parse_size("32*16", &w, &h, &err));
}

std::vector<char*> args(std::vector<std::string>& words) {
    std::vector<char*> out;
    for (auto& w : words) out.push_back(&w[0]);
    return out;
}

TEST(PixelOptions, WhatCannotBeCarriedIsRefusedAtStart) {
    // 256 x 128 LEDs from universe 63900 need 193 universes: past 63999.
    std::vector<std::string> w1 = {"card", "--e131", "127.0.0.1", "--universe", "63900"};
    auto a1 = args(w1);
    Pixel_outputs o1;
    std::string err;
    EXPECT_FALSE(o1.configure(static_cast<int>(a1.size()), a1.data(), 256, 128, &err));
    EXPECT_NE(err.find("63999"), std::string::npos) << err;
    // The same from universe 63807 just fits (63807 + 193 - 1 = 63999).
    std::vector<std::string> w2 = {"card", "--e131", "127.0.0.1", "--universe=63807"};
    auto a2 = args(w2);
    Pixel_outputs o2;
    EXPECT_TRUE(o2.configure(static_cast<int>(a2.size()), a2.data(), 256, 128, &err)) << err;
    // A PPM of 148 x 148 (65,725 bytes) is over a datagram; 147 x 148 fits.
    std::vector<std::string> w3 = {"card", "--ppm-udp", "127.0.0.1", "--crop", "0,0,148,148"};
    auto a3 = args(w3);
    Pixel_outputs o3;
    EXPECT_FALSE(o3.configure(static_cast<int>(a3.size()), a3.data(), 256, 256, &err));
    EXPECT_NE(err.find("65,507"), std::string::npos) << err;
    w3[4] = "0,0,147,148";
    a3 = args(w3);
    Pixel_outputs o4;
    EXPECT_TRUE(o4.configure(static_cast<int>(a3.size()), a3.data(), 256, 256, &err)) << err;
    // Options that belong to an output need one before them.
    std::vector<std::string> w5 = {"card", "--crop", "0,0,1,1", "--ddp", "127.0.0.1"};
    auto a5 = args(w5);
    Pixel_outputs o5;
    EXPECT_FALSE(o5.configure(static_cast<int>(a5.size()), a5.data(), 8, 8, &err));
    std::vector<std::string> w6 = {"card", "--ddp", "multicast"};
    auto a6 = args(w6);
    Pixel_outputs o6;
    EXPECT_FALSE(o6.configure(static_cast<int>(a6.size()), a6.data(), 8, 8, &err));
}

TEST(E131, MulticastGroupOfAUniverseIsHiLoOf239_255) {
    in_addr a;
    const std::pair<int, const char*> cases[] = {
        {1, "239.255.0.1"}, {255, "239.255.0.255"}, {256, "239.255.1.0"}, {4660, "239.255.18.52"}, {63999, "239.255.249.255"}};
    for (const auto& c : cases) {
        a.s_addr = htonl(e131_multicast_group(static_cast<uint16_t>(c.first)));
        EXPECT_STREQ(inet_ntoa(a), c.second) << "universe " << c.first;
    }
}

// --- packets on the wire --------------------------------------------------------

// A UDP receiver on a free port of 127.0.0.1.
struct Receiver {
    int fd = -1;
    int port = 0;
    Receiver() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
        const int buffer = 4 << 20;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    }
    ~Receiver() { close(fd); }
    // The next datagram, or empty after timeout_ms.
    std::vector<uint8_t> next(int timeout_ms) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) != 1) return {};
        std::vector<uint8_t> d(70000);
        const ssize_t n = recv(fd, d.data(), d.size(), 0);
        d.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return d;
    }
};

unsigned be16(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// A screen whose LEDs are red, green, yellow and dark in a pattern, and
// the RGB bytes the default mapping and colours make of it.
Led_framebuffer pattern_screen(int w, int h, int seed, std::vector<uint8_t>* rgb) {
    Led_framebuffer s(w, h);
    const uint8_t colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {255, 255, 0}};
    rgb->clear();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int c = (x * 7 + y * 3 + seed) % 4;
            if (c < 3) s.light(static_cast<uint8_t>(c), x, y);
            for (int k = 0; k < 3; ++k) rgb->push_back(c < 3 ? colours[c][k] : 0);
        }
    return s;
}

struct Running_outputs {
    Screen_feed feed;
    Pixel_outputs outputs;
    bool start(std::vector<std::string> words, int w, int h) {
        words.insert(words.begin(), "card");
        auto a = args(words);
        std::string err;
        char cid[] = "/tmp/vantiro-pixels-test-XXXXXX";
        const int fd = mkstemp(cid);
        if (fd >= 0) close(fd);
        unlink(cid);
        cid_path = cid;
        outputs.settings.cid_path = cid_path;
        log = tmpfile();
        // The options as the card's command line reads them.
        CLI::App app;
        outputs.add_options(app);
        try {
            app.parse(static_cast<int>(a.size()), a.data());
        } catch (const CLI::ParseError& e) {
            ADD_FAILURE() << e.what();
            return false;
        }
        const bool ok = outputs.configure(static_cast<int>(a.size()), a.data(), w, h, &err) &&
                        outputs.start(feed, "", log, &err);
        EXPECT_TRUE(ok) << err;
        return ok;
    }
    ~Running_outputs() {
        outputs.stop();
        if (log) fclose(log);
        unlink(cid_path.c_str());
    }
    std::string cid_path;
    FILE* log = nullptr;
};

// DDP frames as received: data reassembled by offset, up to the push.
struct Ddp_frame {
    std::vector<uint8_t> data;
    std::vector<int> sequences;
    size_t packets = 0;
};

bool next_ddp_frame(Receiver& r, Ddp_frame* f, int timeout_ms) {
    *f = Ddp_frame{};
    for (;;) {
        const auto d = r.next(timeout_ms);
        if (d.empty()) return false;
        EXPECT_GE(d.size(), ddp_header_size);
        EXPECT_EQ(d[0] >> 6, 1) << "version";
        EXPECT_EQ(d[2], 0x0B) << "data type: RGB, 8 bits a component";
        EXPECT_EQ(d[3], 1) << "id: the default output device";
        const uint32_t offset = be32(d.data() + 4);
        const unsigned length = be16(d.data() + 8);
        EXPECT_EQ(length, d.size() - ddp_header_size);
        EXPECT_LE(length, 1440u);
        EXPECT_EQ(offset, f->data.size()) << "packets in order, no gap";
        f->data.insert(f->data.end(), d.begin() + ddp_header_size, d.end());
        f->sequences.push_back(d[1] & 0x0F);
        ++f->packets;
        if (d[0] & 0x01) return true;   // push: the frame is whole
    }
}

TEST(PixelOutputs, DdpCarriesTheScreenInOrderedPacketsWithPushOnTheLast) {
    Receiver r;
    Running_outputs run;
    ASSERT_TRUE(run.start({"--ddp", "127.0.0.1:" + std::to_string(r.port)}, 100, 80));
    std::vector<uint8_t> want;
    const Led_framebuffer s = pattern_screen(100, 80, 1, &want);
    run.feed.publish(s, -1, 1, 0, 0);
    Ddp_frame f;
    ASSERT_TRUE(next_ddp_frame(r, &f, 3000));
    EXPECT_EQ(f.packets, 17u);   // 24,000 bytes: 16 of 1,440 and one of 960
    EXPECT_EQ(f.data, want);
    // Sequence 1..15, one up a packet, 15 followed by 1.
    ASSERT_EQ(f.sequences.size(), 17u);
    for (int q : f.sequences) EXPECT_TRUE(q >= 1 && q <= 15) << q;
    for (size_t i = 1; i < f.sequences.size(); ++i) EXPECT_EQ(f.sequences[i], f.sequences[i - 1] % 15 + 1);
}

TEST(PixelOutputs, DdpCropAndBrightness) {
    Receiver r;
    Running_outputs run;
    ASSERT_TRUE(run.start({"--ddp", "127.0.0.1:" + std::to_string(r.port), "--crop", "1,2,3,1", "--red", "90,18,0"},
                          8, 4));
    Led_framebuffer s(8, 4);
    s.light(0, 1, 2);   // red
    s.light(2, 3, 2);   // yellow; (2, 2) stays dark
    run.feed.publish(s, 4, 1, 0, 0);   // set ld 4: 6/9
    Ddp_frame f;
    ASSERT_TRUE(next_ddp_frame(r, &f, 3000));
    const std::vector<uint8_t> want = {60, 12, 0, 0, 0, 0, 170, 170, 0};
    EXPECT_EQ(f.data, want);
}

// E1.31 packets as the published layout has them.
struct E131_packet {
    bool sync = false;
    std::string name;
    int priority = 0, sequence = 0, options = 0, universe = 0, sync_address = 0;
    std::vector<uint8_t> slots;
    std::vector<uint8_t> cid;
};

bool decode_e131(const std::vector<uint8_t>& d, E131_packet* p) {
    *p = E131_packet{};
    if (d.size() < 49) return false;
    EXPECT_EQ(be16(&d[0]), 0x0010u) << "preamble size";
    EXPECT_EQ(be16(&d[2]), 0x0000u) << "postamble size";
    EXPECT_EQ(std::memcmp(&d[4], "ASC-E1.17\0\0\0", 12), 0) << "ACN packet identifier";
    EXPECT_EQ(be16(&d[16]), 0x7000u | (d.size() - 16)) << "root flags and length";
    p->cid.assign(d.begin() + 22, d.begin() + 38);
    EXPECT_EQ(be16(&d[38]), 0x7000u | (d.size() - 38)) << "framing flags and length";
    const uint32_t root = be32(&d[18]), framing = be32(&d[40]);
    if (root == 0x00000008) {   // VECTOR_ROOT_E131_EXTENDED
        EXPECT_EQ(framing, 0x00000001u) << "VECTOR_E131_EXTENDED_SYNCHRONIZATION";
        EXPECT_EQ(d.size(), 49u);
        p->sync = true;
        p->sequence = d[44];
        p->sync_address = static_cast<int>(be16(&d[45]));
        return true;
    }
    EXPECT_EQ(root, 0x00000004u) << "VECTOR_ROOT_E131_DATA";
    EXPECT_EQ(framing, 0x00000002u) << "VECTOR_E131_DATA_PACKET";
    p->name.assign(reinterpret_cast<const char*>(&d[44]), strnlen(reinterpret_cast<const char*>(&d[44]), 64));
    p->priority = d[108];
    p->sync_address = static_cast<int>(be16(&d[109]));
    p->sequence = d[111];
    p->options = d[112];
    p->universe = static_cast<int>(be16(&d[113]));
    EXPECT_EQ(be16(&d[115]), 0x7000u | (d.size() - 115)) << "DMP flags and length";
    EXPECT_EQ(d[117], 0x02) << "VECTOR_DMP_SET_PROPERTY";
    EXPECT_EQ(d[118], 0xA1) << "address and data type";
    EXPECT_EQ(be16(&d[119]), 0u) << "first property address";
    EXPECT_EQ(be16(&d[121]), 1u) << "address increment";
    EXPECT_EQ(be16(&d[123]), d.size() - 125) << "property value count";
    EXPECT_EQ(d[125], 0) << "start code";
    p->slots.assign(d.begin() + 126, d.end());
    return true;
}

TEST(PixelOutputs, E131CarriesUniversesThenASyncAndEndsTheStream) {
    Receiver r;
    std::vector<uint8_t> want, cid;
    {
        Running_outputs run;
        // 30 x 20 = 600 pixels: universes 7, 8, 9 (170 each) and 10 (90).
        ASSERT_TRUE(run.start({"--e131", "127.0.0.1:" + std::to_string(r.port), "--universe", "7", "--priority", "150"},
                              30, 20));
        const Led_framebuffer s = pattern_screen(30, 20, 2, &want);
        run.feed.publish(s, -1, 1, 0, 0);
        E131_packet p;
        std::vector<uint8_t> got;
        std::vector<int> sequences;
        for (int u = 7; u <= 10; ++u) {
            ASSERT_TRUE(decode_e131(r.next(3000), &p)) << "universe " << u;
            EXPECT_FALSE(p.sync);
            EXPECT_EQ(p.universe, u);
            EXPECT_EQ(p.name, "vantiro-card");
            EXPECT_EQ(p.priority, 150);
            EXPECT_EQ(p.options, 0);
            EXPECT_EQ(p.sync_address, 7);
            EXPECT_EQ(p.slots.size(), u < 10 ? 510u : 270u);
            got.insert(got.end(), p.slots.begin(), p.slots.end());
            sequences.push_back(p.sequence);
            if (cid.empty()) cid = p.cid;
            EXPECT_EQ(p.cid, cid) << "one CID for the card";
        }
        EXPECT_EQ(got, want);
        ASSERT_TRUE(decode_e131(r.next(3000), &p));
        EXPECT_TRUE(p.sync) << "a synchronization packet ends the frame";
        EXPECT_EQ(p.sync_address, 7);
        // The keep-alive: each universe's sequence one up.
        for (int u = 7; u <= 10; ++u) {
            ASSERT_TRUE(decode_e131(r.next(3000), &p));
            EXPECT_EQ(p.universe, u);
            EXPECT_EQ(p.sequence, (sequences[static_cast<size_t>(u - 7)] + 1) % 256);
        }
        ASSERT_TRUE(decode_e131(r.next(3000), &p));
        EXPECT_TRUE(p.sync);
        run.outputs.stop();
        // Ended: three stream-terminated packets a universe, whatever came before.
        int terminated = 0;
        for (std::vector<uint8_t> d; !(d = r.next(500)).empty();)
            if (decode_e131(d, &p) && !p.sync && (p.options & 0x40)) ++terminated;
        EXPECT_EQ(terminated, 12);
    }
    // The CID is kept: a second start with the same file uses it again.
    {
        Receiver r2;
        Screen_feed feed;
        Pixel_outputs o;
        char path[] = "/tmp/vantiro-cid-XXXXXX";
        close(mkstemp(path));
        unlink(path);
        uint8_t first[16], second[16];
        std::string err;
        ASSERT_TRUE(e131_card_cid(path, first, &err)) << err;
        ASSERT_TRUE(e131_card_cid(path, second, &err)) << err;
        EXPECT_EQ(std::memcmp(first, second, 16), 0);
        EXPECT_EQ(first[6] >> 4, 4) << "a random (version 4) UUID";
        unlink(path);
    }
}

TEST(PixelOutputs, ChangesFasterThanMaxFpsGoOutAsFewFramesTheLastOneLast) {
    Receiver r;
    Running_outputs run;
    ASSERT_TRUE(run.start({"--ddp", "127.0.0.1:" + std::to_string(r.port)}, 16, 8));
    std::vector<uint8_t> want;
    // 20 changes, 5 ms apart.
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < 20; ++k) {
        run.feed.publish(pattern_screen(16, 8, k, &want), -1, k, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const long span_ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    // Frames up to the first keep-alive: the last one is the last screen.
    std::vector<std::vector<uint8_t>> frames;
    Ddp_frame f;
    while (next_ddp_frame(r, &f, 600)) frames.push_back(f.data);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), want);
    // At 40 frames a second, one frame each 25 ms at most: the first
    // change goes at once, and the last (5 ms before the span's end) at
    // the latest in the slot after it: at most (span_ms - 5) / 25 + 2
    // frames (5 when the 20 changes took 100 ms).
    EXPECT_LE(static_cast<long>(frames.size()), (span_ms - 5) / 25 + 2) << "changes over " << span_ms << " ms";
    EXPECT_GE(frames.size(), 2u) << "the latest screen came after the first";
}

TEST(PixelOutputs, ASilentScreenIsSentAgainEverySecond) {
    Receiver r;
    Running_outputs run;
    ASSERT_TRUE(run.start({"--ppm-udp", "127.0.0.1:" + std::to_string(r.port)}, 6, 2));
    std::vector<uint8_t> want;
    run.feed.publish(pattern_screen(6, 2, 3, &want), -1, 1, 0, 0);
    const std::string header = "P6\n6 2\n255\n";
    for (int k = 0; k < 2; ++k) {   // the frame, then its keep-alive
        const auto d = r.next(3000);
        ASSERT_EQ(d.size(), header.size() + want.size()) << (k ? "no keep-alive" : "no frame");
        EXPECT_EQ(std::string(d.begin(), d.begin() + static_cast<long>(header.size())), header);
        EXPECT_EQ(std::vector<uint8_t>(d.begin() + static_cast<long>(header.size()), d.end()), want);
    }
}

}  // namespace
