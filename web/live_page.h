// The card's web page: a small HTTP server (civetweb) that shows the
// screen live in any browser. It serves the page and its script and style
// from memory, the screen as a PNG and its facts as JSON, and pushes each
// change over a WebSocket (/live). It only reads: no request changes the
// card. Its threads read the screen from a Screen_feed, so the card's loop
// never waits for a viewer.
//
// Bounds: at most max_viewers WebSockets (one more is refused with 503 on
// the upgrade); each viewer gets at most 30 frames a second, the newest
// first; a viewer whose socket holds more than live_page_backlog_frames
// unsent whole frames, or that takes live_page_write_ms for one frame, is
// dropped. Memory: the screen plus, a viewer, about
// live_page_viewer_bytes(width, height).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class Screen_feed;

// Frames a viewer's socket may hold unsent before the viewer is dropped.
constexpr int live_page_backlog_frames = 4;
// Longest time one frame's write may take before the viewer is dropped.
constexpr int live_page_write_ms = 2000;
// Shortest time between two frames to one viewer (30 frames a second).
constexpr int live_page_frame_ms = 34;
// A request that has not arrived whole in this time is closed.
constexpr int live_page_request_ms = 5000;

// What one viewer costs at most, in bytes, on a screen of width x height
// LEDs: the last frame it got, the frame it is getting, the message and the
// server's buffers and thread for its connection (touched stack included).
size_t live_page_viewer_bytes(int width, int height);

struct Live_page_options {
    std::string address = "127.0.0.1";
    int port = 0;            // 0: any free port
    int max_viewers = 16;    // WebSockets at once
};

class Live_page {
public:
    Live_page();
    ~Live_page();
    Live_page(const Live_page&) = delete;
    Live_page& operator=(const Live_page&) = delete;

    // Starts serving feed's screen. False with "web: ..." in *err when the
    // address cannot be bound.
    bool start(const Live_page_options& options, Screen_feed* feed, std::string* err);
    // The port listened on (after start).
    int port() const;
    // Viewers connected now.
    int viewers() const;
    // Closes every connection and stops the server's threads.
    void stop();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Parses "ADDR:PORT", ":PORT" or "PORT" (ADDR 127.0.0.1 when missing).
// False with "web: ..." in *err.
bool parse_http_address(const std::string& text, std::string* address, int* port, std::string* err);
