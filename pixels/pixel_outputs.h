// The card's pixel outputs: its screen pushed to pixel controllers over
// DDP, E1.31 or as PPM images in UDP datagrams. One sender thread reads
// the newest screen from the card's screen feed, maps and colours it, and
// sends it to every output: when the screen changes, at most max_fps times
// a second (the latest screen wins; nothing stale is queued), and again
// every second as a keep-alive. Sockets never block: a receiver that is
// gone costs a line in the log, and the card's loop never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "card/screen_feed.h"
#include "pixels/pixel_map.h"

namespace CLI {
class App;
}

enum class Pixel_protocol { ddp, e131, ppm };

// One output as given on the command line.
struct Pixel_output_wanted {
    Pixel_protocol protocol = Pixel_protocol::ddp;
    std::string host;          // IPv4 address or name; "multicast" (E1.31 only)
    int port = 0;              // 0: the protocol's own
    Pixel_area crop;           // width 0: the whole screen
    int universe = 1;          // E1.31: the first universe
    int sync = -1;             // E1.31: sync universe (-1: the first universe when there are several; 0: none)
};

struct Pixel_settings {
    Pixel_mapping mapping;
    Pixel_colours colours;
    int max_fps = 40;
    int universe_pixels = 170;   // RGB pixels an E1.31 universe carries (510 channels)
    int priority = 100;
    int keepalive_ms = 1000;
    std::string cid_path;        // where the E1.31 CID is kept
};

// What one output sends a frame: for the start-up line and the docs.
struct Pixel_output_shape {
    size_t pixels = 0;
    size_t packets = 0;          // data packets a frame (with E1.31: universes)
    int first_universe = 0, last_universe = 0;
};

class Pixel_outputs {
public:
    Pixel_outputs();
    ~Pixel_outputs();   // stop()

    // The options of the outputs, for the card's command line.
    void add_options(CLI::App& app);

    // After the command line was parsed: the outputs in the order given
    // (argv again, since --crop and --universe belong to the output before
    // them). False with a message when one is wrong or cannot be carried.
    bool configure(int argc, char** argv, int screen_width, int screen_height, std::string* err);

    // True when --map-help was given; the picture of the order.
    bool map_help_wanted() const { return map_help_; }
    std::string map_help() const;

    size_t count() const { return outputs_.size(); }

    // Opens the sockets and starts the sender on feed. log gets a line per
    // output and per trouble (null: stderr).
    bool start(Screen_feed& feed, const std::string& flash_path, FILE* log, std::string* err);

    // Ends the sender (the feed must be stopped or about to be): E1.31
    // outputs send their stream-terminated packets. Safe to call twice.
    void stop();

    // Frames sent so far (every output's).
    long frames_sent() const { return frames_sent_.load(); }

    struct Output;   // one output's state (pixel_outputs.cpp)

    Pixel_settings settings;

private:
    void run();
    bool send_frame(Output& o, const Screen_frame& f, uint8_t options);

    std::vector<Pixel_output_wanted> wanted_;
    std::vector<std::unique_ptr<Output>> outputs_;
    int width_ = 0, height_ = 0;
    bool map_help_ = false;
    Screen_feed* feed_ = nullptr;
    FILE* log_ = nullptr;
    std::thread thread_;
    std::atomic<long> frames_sent_{0};
    std::atomic<bool> stopping_{false};
    uint8_t cid_[16] = {};
    Pixel_palette palette_;
    int palette_brightness_ = -2;   // the brightness palette_ was made for
    // Raw option values (CLI11 checks their form; configure reads argv).
    std::vector<std::string> ddp_, e131_, ppm_, crop_;
    std::vector<int> universe_, sync_;
    std::string start_, order_, panel_, panel_start_, panel_order_, red_, green_, yellow_;
    bool serpentine_ = false, panel_serpentine_ = false;
};

// Parsing helpers, public for the tests: "HOST[:PORT]" (port 1..65535),
// "X,Y,W,H", "R,G,B" (each 0..255), "WxH". False with a message.
bool pixel_parse_host(const std::string& text, int default_port, std::string* host, int* port, std::string* err);
bool pixel_parse_crop(const std::string& text, Pixel_area* out, std::string* err);
bool pixel_parse_rgb(const std::string& text, uint8_t out[3], std::string* err);
bool pixel_parse_size(const std::string& text, int* w, int* h, std::string* err);

// Universes an E1.31 output of n pixels needs at per_universe pixels each.
long e131_universes_needed(size_t pixels, int per_universe);
