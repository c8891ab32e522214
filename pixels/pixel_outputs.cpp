#include "pixels/pixel_outputs.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include <CLI/CLI.hpp>

#include "pixels/pixel_packets.h"

struct Pixel_outputs::Output {
    Pixel_output_wanted wanted;
    std::string name;              // "e131 127.0.0.1:5568", for the log
    Pixel_map map;
    std::vector<uint8_t> rgb;      // the frame, 3 bytes a pixel
    std::vector<uint8_t> packet;   // room for the largest packet
    int fd = -1;
    sockaddr_in dest{};            // unicast destination
    bool multicast = false;        // E1.31 to each universe's group
    int universes = 0;
    int sync = 0;                  // sync universe (0: none)
    std::vector<uint8_t> sequence; // E1.31: per universe
    uint8_t sync_sequence = 0;
    uint8_t ddp_sequence = 0;      // DDP: 1..15
    bool failing = false;          // the last send failed (logged once)
    long dropped = 0;              // packets the socket had no room for

    ~Output() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

bool whole_number(const std::string& text, long lo, long hi, long* out) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Splits text at sep into exactly n whole numbers within lo..hi.
bool numbers(const std::string& text, char sep, size_t n, long lo, long hi, long* out) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t end = i + 1 < n ? text.find(sep, start) : text.size();
        if (end == std::string::npos) return false;
        if (!whole_number(text.substr(start, end - start), lo, hi, &out[i])) return false;
        start = end + 1;
    }
    return true;
}

const char* protocol_name(Pixel_protocol p) {
    return p == Pixel_protocol::ddp ? "ddp" : p == Pixel_protocol::e131 ? "e131" : "ppm";
}

}  // namespace

bool pixel_parse_host(const std::string& text, int default_port, std::string* host, int* port, std::string* err) {
    const size_t colon = text.rfind(':');
    *host = text.substr(0, colon);
    *port = default_port;
    long p = 0;
    if (colon != std::string::npos && !whole_number(text.substr(colon + 1), 1, 65535, &p)) {
        *err = "pixels: " + text + ": the port is not a number from 1 to 65535";
        return false;
    }
    if (colon != std::string::npos) *port = static_cast<int>(p);
    if (host->empty()) {
        *err = "pixels: " + text + ": no host";
        return false;
    }
    return true;
}

bool pixel_parse_crop(const std::string& text, Pixel_area* out, std::string* err) {
    long v[4];
    if (!numbers(text, ',', 4, 0, 16384, v) || v[2] == 0 || v[3] == 0) {
        *err = "pixels: --crop " + text + ": not X,Y,W,H (whole numbers, W and H at least 1)";
        return false;
    }
    *out = Pixel_area{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3])};
    return true;
}

bool pixel_parse_rgb(const std::string& text, uint8_t out[3], std::string* err) {
    long v[3];
    if (!numbers(text, ',', 3, 0, 255, v)) {
        *err = "pixels: " + text + ": not R,G,B (each 0 to 255)";
        return false;
    }
    for (int i = 0; i < 3; ++i) out[i] = static_cast<uint8_t>(v[i]);
    return true;
}

bool pixel_parse_size(const std::string& text, int* w, int* h, std::string* err) {
    long v[2];
    if (!numbers(text, 'x', 2, 1, 16384, v)) {
        *err = "pixels: --panel " + text + ": not WxH (each 1 to 16384)";
        return false;
    }
    *w = static_cast<int>(v[0]);
    *h = static_cast<int>(v[1]);
    return true;
}

long e131_universes_needed(size_t pixels, int per_universe) {
    return static_cast<long>((pixels + static_cast<size_t>(per_universe) - 1) / static_cast<size_t>(per_universe));
}

Pixel_outputs::Pixel_outputs() = default;

Pixel_outputs::~Pixel_outputs() { stop(); }

void Pixel_outputs::add_options(CLI::App& app) {
    const char* group = "Pixel outputs";
    app.add_option("--ddp", ddp_, "Push the screen over DDP to HOST[:PORT] (port 4048); repeatable")->group(group);
    app.add_option("--e131", e131_,
                   "Push the screen over E1.31 (sACN) to HOST[:PORT] (port 5568), or to 'multicast' "
                   "(universe u to 239.255.u/256.u%256); repeatable")
        ->group(group);
    app.add_option("--ppm-udp", ppm_,
                   "Push the screen as one binary PPM image a UDP datagram to HOST[:PORT] (port 1337); "
                   "at most 65,507 bytes (about 21,830 pixels); repeatable")
        ->group(group);
    app.add_option("--universe", universe_, "The first universe of the --e131 before it (1 to 63999; default 1)")
        ->check(CLI::Range(1, 63999))
        ->group(group);
    app.add_option("--sync-universe", sync_,
                   "The synchronization universe of the --e131 before it (0: none; default: its first "
                   "universe when it sends several)")
        ->check(CLI::Range(0, 63999))
        ->group(group);
    app.add_option("--crop", crop_, "X,Y,W,H: the output before it carries this part of the screen only")
        ->group(group);
    app.add_option("--max-fps", settings.max_fps, "Frames a second at most (1 to 1000; default 40)")
        ->check(CLI::Range(1, 1000))
        ->group(group);
    app.add_option("--universe-pixels", settings.universe_pixels,
                   "RGB pixels an E1.31 universe carries (1 to 170; default 170, 510 channels)")
        ->check(CLI::Range(1, 170))
        ->group(group);
    app.add_option("--priority", settings.priority, "E1.31 priority (0 to 200; default 100)")
        ->check(CLI::Range(0, 200))
        ->group(group);
    app.add_option("--start", start_, "Corner of the first pixel: top-left (default), top-right, bottom-left, bottom-right")
        ->group(group);
    app.add_option("--order", order_, "rows (default) or columns first")->group(group);
    app.add_flag("--serpentine", serpentine_, "Every second row (or column) runs back (zig-zag)")->group(group);
    app.add_option("--panel", panel_, "WxH: the screen is panels of W x H LEDs, chained one after another")
        ->group(group);
    app.add_option("--panel-start", panel_start_, "Corner of the first panel (default top-left)")->group(group);
    app.add_option("--panel-order", panel_order_, "Panels chained along rows (default) or columns")->group(group);
    app.add_flag("--panel-serpentine", panel_serpentine_, "Every second row (or column) of panels runs back")
        ->group(group);
    app.add_option("--red", red_, "R,G,B sent for the card's red (default 255,0,0)")->group(group);
    app.add_option("--green", green_, "R,G,B sent for the card's green (default 0,255,0)")->group(group);
    app.add_option("--yellow", yellow_, "R,G,B sent for the card's yellow (default 255,255,0)")->group(group);
    app.add_flag("--map-help", map_help_, "Print a picture of the pixel order and end")->group(group);
}

bool Pixel_outputs::configure(int argc, char** argv, int screen_width, int screen_height, std::string* err) {
    width_ = screen_width;
    height_ = screen_height;
    Pixel_mapping& m = settings.mapping;
    auto order = [err](const std::string& corner, const std::string& rows, bool serpentine, const char* what,
                       Pixel_order* out) {
        if (!corner.empty() && !pixel_corner_from_name(corner, &out->corner)) {
            *err = "pixels: --" + std::string(what) + "start " + corner +
                   ": not top-left, top-right, bottom-left or bottom-right";
            return false;
        }
        if (!rows.empty() && rows != "rows" && rows != "columns") {
            *err = "pixels: --" + std::string(what) + "order " + rows + ": not rows or columns";
            return false;
        }
        out->columns = rows == "columns";
        out->serpentine = serpentine;
        return true;
    };
    if (!order(start_, order_, serpentine_, "", &m.pixels) ||
        !order(panel_start_, panel_order_, panel_serpentine_, "panel-", &m.panels))
        return false;
    if (!panel_.empty() && !pixel_parse_size(panel_, &m.panel_width, &m.panel_height, err)) return false;
    const std::string* colour_text[3] = {&red_, &green_, &yellow_};
    for (int c = 0; c < 3; ++c)
        if (!colour_text[c]->empty() && !pixel_parse_rgb(*colour_text[c], settings.colours.rgb[c], err)) return false;

    // The outputs in their order; --universe, --sync-universe and --crop
    // belong to the output before them.
    wanted_.clear();
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) != 0) continue;
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const bool output = name == "--ddp" || name == "--e131" || name == "--ppm-udp";
        const bool belongs = name == "--universe" || name == "--sync-universe" || name == "--crop";
        if (!output && !belongs) continue;
        if (eq == std::string::npos) {
            if (i + 1 >= argc) continue;   // CLI11 said so already
            value = argv[++i];
        }
        if (output) {
            Pixel_output_wanted s;
            s.protocol = name == "--ddp" ? Pixel_protocol::ddp : name == "--e131" ? Pixel_protocol::e131 : Pixel_protocol::ppm;
            const int port = s.protocol == Pixel_protocol::ddp ? ddp_port
                             : s.protocol == Pixel_protocol::e131 ? e131_port
                                                                  : ppm_port;
            if (!pixel_parse_host(value, port, &s.host, &s.port, err)) return false;
            if (s.host == "multicast" && s.protocol != Pixel_protocol::e131) {
                *err = "pixels: " + name + " multicast: only E1.31 has multicast groups";
                return false;
            }
            wanted_.push_back(s);
            continue;
        }
        if (wanted_.empty()) {
            *err = "pixels: " + name + " belongs to an output (--ddp, --e131, --ppm-udp) given before it";
            return false;
        }
        Pixel_output_wanted& s = wanted_.back();
        if (name == "--crop") {
            if (!pixel_parse_crop(value, &s.crop, err)) return false;
        } else if (s.protocol != Pixel_protocol::e131) {
            *err = "pixels: " + name + " belongs to an --e131 output, not to the --" + protocol_name(s.protocol) +
                   " before it";
            return false;
        } else {
            long v = 0;
            if (!whole_number(value, name == "--universe" ? 1 : 0, e131_max_universe, &v)) {
                *err = "pixels: " + name + " " + value + ": not a universe from 1 to 63999";
                return false;
            }
            (name == "--universe" ? s.universe : s.sync) = static_cast<int>(v);
        }
    }

    // Each output's map, and what cannot be carried.
    outputs_.clear();
    for (const Pixel_output_wanted& s : wanted_) {
        auto o = std::make_unique<Output>();
        o->wanted = s;
        if (o->wanted.crop.width == 0) o->wanted.crop = Pixel_area{0, 0, screen_width, screen_height};
        const Pixel_area& a = o->wanted.crop;
        o->name = std::string(protocol_name(s.protocol)) + " " + s.host + ":" + std::to_string(s.port);
        if (!o->map.make(screen_width, screen_height, a, m, err)) {
            *err += " (" + o->name + ")";
            return false;
        }
        const size_t pixels = o->map.pixel_count();
        o->rgb.resize(pixels * 3);
        if (s.protocol == Pixel_protocol::e131) {
            const long universes = e131_universes_needed(pixels, settings.universe_pixels);
            if (s.universe + universes - 1 > e131_max_universe) {
                *err = "pixels: " + o->name + ": " + std::to_string(a.width) + " x " + std::to_string(a.height) +
                       " LEDs need " + std::to_string(universes) + " universes of " +
                       std::to_string(settings.universe_pixels) + " pixels from universe " +
                       std::to_string(s.universe) + ", beyond the last universe, 63999; crop the screen (--crop) "
                       "into several outputs";
                return false;
            }
            o->universes = static_cast<int>(universes);
            o->sync = s.sync >= 0 ? s.sync : (universes > 1 ? s.universe : 0);
            // Sequences start anywhere: a receiver that still remembers
            // this card's last run (same CID) does not take the new
            // stream's first packets for late ones of the old.
            std::random_device random;
            o->sequence.assign(static_cast<size_t>(universes), static_cast<uint8_t>(random()));
            o->sync_sequence = static_cast<uint8_t>(random());
            o->packet.resize(e131_data_header + static_cast<size_t>(settings.universe_pixels) * 3);
        } else if (s.protocol == Pixel_protocol::ppm) {
            char header[32];
            const size_t bytes = ppm_header(header, a.width, a.height) + pixels * 3;
            if (bytes > udp_max_payload) {
                *err = "pixels: " + o->name + ": a PPM image of " + std::to_string(a.width) + " x " +
                       std::to_string(a.height) + " LEDs is " + std::to_string(bytes) +
                       " bytes, beyond the 65,507 bytes a UDP datagram carries; split the screen with --crop into "
                       "parts of at most about 21,830 LEDs, each sent to a panel server of its own";
                return false;
            }
            o->packet.resize(bytes);
        } else {
            o->packet.resize(ddp_header_size + ddp_max_data);
        }
        outputs_.push_back(std::move(o));
    }
    return true;
}

std::string Pixel_outputs::map_help() const { return pixel_map_picture(settings.mapping, width_, height_); }

bool Pixel_outputs::start(Screen_feed& feed, const std::string& flash_path, FILE* log, std::string* err) {
    log_ = log ? log : stderr;
    feed_ = &feed;
    if (outputs_.empty()) return true;
    bool any_e131 = false;
    for (auto& o : outputs_) any_e131 |= o->wanted.protocol == Pixel_protocol::e131;
    if (any_e131) {
        std::string cid_err;
        const std::string path = settings.cid_path.empty() ? flash_path + ".cid" : settings.cid_path;
        if (!e131_card_cid(path, cid_, &cid_err)) std::fprintf(log_, "%s\n", cid_err.c_str());
    }
    for (auto& o : outputs_) {
        o->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (o->fd < 0) {
            *err = "pixels: " + o->name + ": no socket: " + std::strerror(errno);
            return false;
        }
        const int buffer = 1 << 20;
        setsockopt(o->fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        o->dest.sin_family = AF_INET;
        o->dest.sin_port = htons(static_cast<uint16_t>(o->wanted.port));
        if (o->wanted.host == "multicast") {
            o->multicast = true;
            const unsigned char ttl = 8;   // beyond the first router of a show network, not the world
            setsockopt(o->fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        } else {
            addrinfo hints{}, *found = nullptr;
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_DGRAM;
            const int r = getaddrinfo(o->wanted.host.c_str(), nullptr, &hints, &found);
            if (r != 0 || !found) {
                *err = "pixels: " + o->name + ": " + gai_strerror(r);
                return false;
            }
            o->dest.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
            freeaddrinfo(found);
        }
        const Pixel_area& a = o->wanted.crop;
        if (o->wanted.protocol == Pixel_protocol::e131)
            std::fprintf(log_,
                         "pixels: %s: %zu pixels (%d x %d at %d,%d) in universes %d..%d, %d pixels a universe, "
                         "sync universe %d\n",
                         o->name.c_str(), o->map.pixel_count(), a.width, a.height, a.x, a.y, o->wanted.universe,
                         o->wanted.universe + o->universes - 1, settings.universe_pixels, o->sync);
        else if (o->wanted.protocol == Pixel_protocol::ddp)
            std::fprintf(log_, "pixels: %s: %zu pixels (%d x %d at %d,%d), %zu packets a frame\n", o->name.c_str(),
                         o->map.pixel_count(), a.width, a.height, a.x, a.y,
                         (o->rgb.size() + ddp_max_data - 1) / ddp_max_data);
        else
            std::fprintf(log_, "pixels: %s: %d x %d image at %d,%d, %zu bytes a datagram\n", o->name.c_str(),
                         a.width, a.height, a.x, a.y, o->packet.size());
    }
    std::fflush(log_);
    thread_ = std::thread([this] { run(); });
    return true;
}

void Pixel_outputs::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    feed_->stop();
    thread_.join();
}

namespace {

// One datagram, never waiting. A failure is logged when it starts and
// when it ends; a full socket buffer drops the packet (counted).
bool send_datagram(Pixel_outputs::Output& o, const uint8_t* p, size_t n, const sockaddr_in& to, FILE* log) {
    if (::sendto(o.fd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0) {
        if (o.failing) {
            std::fprintf(log, "pixels: %s: sending again\n", o.name.c_str());
            std::fflush(log);
            o.failing = false;
        }
        return true;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
        ++o.dropped;
        return false;
    }
    if (!o.failing) {
        std::fprintf(log, "pixels: %s: %s; the card goes on, frames are sent as before\n", o.name.c_str(),
                     std::strerror(errno));
        std::fflush(log);
        o.failing = true;
    }
    return false;
}

}  // namespace

bool Pixel_outputs::send_frame(Output& o, const Screen_frame& f, uint8_t options) {
    if (f.width != width_ || f.height != height_) return false;
    o.map.fill(f.leds.data(), palette_, o.rgb.data());
    const size_t total = o.rgb.size();
    uint8_t* p = o.packet.data();
    switch (o.wanted.protocol) {
    case Pixel_protocol::ddp:
        for (size_t off = 0; off < total; off += ddp_max_data) {
            const size_t n = std::min(ddp_max_data, total - off);
            o.ddp_sequence = static_cast<uint8_t>(o.ddp_sequence % 15 + 1);
            const size_t len = ddp_packet(p, o.ddp_sequence, static_cast<uint32_t>(off), o.rgb.data() + off, n,
                                          off + n == total);
            send_datagram(o, p, len, o.dest, log_);
        }
        break;
    case Pixel_protocol::e131: {
        const size_t per = static_cast<size_t>(settings.universe_pixels) * 3;
        sockaddr_in to = o.dest;
        for (int u = 0; u < o.universes; ++u) {
            const size_t off = static_cast<size_t>(u) * per;
            const size_t n = std::min(per, total - off);
            const uint16_t universe = static_cast<uint16_t>(o.wanted.universe + u);
            const size_t len = e131_data_packet(p, cid_, "vantiro-card", static_cast<uint8_t>(settings.priority),
                                                static_cast<uint16_t>(o.sync), o.sequence[static_cast<size_t>(u)]++,
                                                options, universe, o.rgb.data() + off, n);
            if (o.multicast) to.sin_addr.s_addr = htonl(e131_multicast_group(universe));
            send_datagram(o, p, len, to, log_);
        }
        // The frame's universes change at once on receivers that
        // synchronise; a stream that ends needs no sync.
        if (o.sync != 0 && options == 0) {
            if (o.multicast) to.sin_addr.s_addr = htonl(e131_multicast_group(static_cast<uint16_t>(o.sync)));
            const size_t len = e131_sync_packet(p, cid_, o.sync_sequence++, static_cast<uint16_t>(o.sync));
            send_datagram(o, p, len, to, log_);
        }
        break;
    }
    case Pixel_protocol::ppm: {
        const size_t h = ppm_header(reinterpret_cast<char*>(p), o.wanted.crop.width, o.wanted.crop.height);
        std::memcpy(p + h, o.rgb.data(), total);
        send_datagram(o, p, h + total, o.dest, log_);
        break;
    }
    }
    return true;
}

void Pixel_outputs::run() {
    using clock = std::chrono::steady_clock;
    const auto interval = std::chrono::microseconds(1000000 / settings.max_fps);
    const auto keepalive = std::chrono::milliseconds(settings.keepalive_ms);
    Screen_frame frame, scratch;
    uint64_t seen = 0;
    bool have = false;
    clock::time_point last{};
    auto send_all = [&](uint8_t options) {
        if (frame.brightness != palette_brightness_) {
            pixel_palette_make(settings.colours, frame.brightness, &palette_);
            palette_brightness_ = frame.brightness;
        }
        for (auto& o : outputs_) send_frame(*o, frame, options);
        frames_sent_.fetch_add(1);
        last = clock::now();
    };
    auto ms_until = [](clock::time_point t) {
        const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(t - clock::now()).count();
        return static_cast<int>(std::max<long long>(1, std::min<long long>(d + 1, 1000)));
    };
    while (!stopping_) {
        const int wait = have ? ms_until(last + keepalive) : 1000;
        const bool got = feed_->wait_newer(seen, &frame, wait);
        if (stopping_ || feed_->stopped()) break;
        if (got) {
            // At most max_fps: a change before the next slot waits for it,
            // and then the newest screen goes (the ones between never do).
            if (have && clock::now() < last + interval) {
                feed_->wait_newer(UINT64_MAX, &scratch, ms_until(last + interval));   // a sleep that stop ends
                if (stopping_ || feed_->stopped()) break;
                feed_->latest(&frame);
            }
            seen = frame.version;
            send_all(0);
            have = true;
        } else if (have && clock::now() >= last + keepalive) {
            send_all(0);   // the keep-alive: receivers fall back to their own show after some silence
        }
    }
    // The end of the stream: E1.31 receivers let go of the universes at
    // once instead of after their time-out (three packets, in case one is lost).
    if (!have && !feed_->latest(&frame)) return;
    if (frame.brightness != palette_brightness_) {
        pixel_palette_make(settings.colours, frame.brightness, &palette_);
        palette_brightness_ = frame.brightness;
    }
    for (int k = 0; k < 3; ++k)
        for (auto& o : outputs_)
            if (o->wanted.protocol == Pixel_protocol::e131) send_frame(*o, frame, e131_option_terminated);
}
