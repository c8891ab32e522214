// The live send: the whole scene to the card as command lines, each time the
// left button is released and on Enter. The lines are taken from the scene
// on the main thread (a snapshot), then delivered with their waits by a
// sender thread, so the window keeps drawing and taking input whatever the
// card or the network does. A new send supersedes one in progress.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controller/script_writer.h"

// One line as it goes to the card.
struct Live_line {
    int32_t tag;
    int32_t wait_ms;      // pause after it (0 with pacing off)
    std::string bytes;    // the line, line end included
};

// Tag of the opening clear line.
constexpr int32_t clear_line_tag = 0xA5A5;

// The snapshot: "led clearall \n" (tag 0xA5A5, no wait), then every element
// on the sign but digit modules, in the order and with the tags and waits
// of the live lines (see write_scene_lines). paced false: every wait 0.
std::vector<Live_line> live_scene_lines(const Scene& scene, bool paced, const Text_files& texts);

// A card of the fleet: its name in SysCfg.ini ([Cards] name=address; the
// RemotIP card's is "RemotIP") and its csdk handle (0: none), made on the
// main thread.
struct Live_card {
    std::string name;
    int32_t client;
};

// How the send to one card ended: where is the card's address as reached,
// why the reason it failed.
struct Live_card_result {
    std::string name, where;
    bool ok = false;
    std::string why;
};

// Cards sent to at once in a fleet send.
constexpr size_t live_send_parallel = 16;

// The sender: its thread and what it shares with the main thread (the
// job, the cards, its news for the status line). main owns one (the
// editor's and vantiro-cli's), each test its own; it is made idle and its
// destruction stops and joins the thread. News wakes the main loop
// (platform_wake_main), so the window shows it at once.
class Live_sender {
public:
    Live_sender();
    ~Live_sender();
    Live_sender(const Live_sender&) = delete;
    Live_sender& operator=(const Live_sender&) = delete;

    // Starts the sender thread for client (a csdk handle; 0: no card), once.
    void start(int32_t client);

    // The same for several cards: each send goes to all of them, up to
    // live_send_parallel at once, each on its own thread and its own handle,
    // each confirmed by the card's line count. One card sends exactly as
    // start(client) does. Replaces the card list of a running sender (it
    // takes effect with the next send).
    void start(std::vector<Live_card> cards);

    // Per card, how the last send that ended went (one entry a card).
    std::vector<Live_card_result> last_card_results();

    // Hands lines to the sender; the rest of a send in progress is dropped.
    // Nothing happens before start.
    void submit(std::vector<Live_line> lines);

    // What the sender has to say since the last call (progress, the end or a
    // failure), for the status line; to_stderr tells whether it is also a line
    // for standard error, failed (when given) whether it says a send failed.
    // False when there is nothing new.
    bool take_status(std::string* message, bool* to_stderr, bool* failed = nullptr);

    // Blocks until the sender is idle (its last send done or failed), at most
    // timeout_ms; true when idle. For the command line and tests.
    bool wait_idle(int timeout_ms);

    // True when the last send that ended delivered every line.
    bool last_send_ok();

    // Stops and joins the thread; what it said and how its last send went
    // are forgotten. A later start begins afresh.
    void stop();

    struct Sender;   // the state shared with the thread (live_send.cpp)

private:
    std::unique_ptr<Sender> sender_;
};
