// The card simulator behind the network: the card model, its flash, and
// the frames of our card protocol (docs/card-protocol.md). vantiro-card is
// a thin shell around it; tests run it in-process.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "card/card_model.h"
#include "csdk/card_frame.h"

// Test faults of a simulated card.
struct Card_faults {
    long close_after = -1;   // close a connection after this many lines (-1: never)
    bool silent = false;     // accept and read, never answer a request
    int delay_ms = 0;        // answer requests this late
    int send_buffer = 0;     // bytes of each client socket's send buffer (0: the system's)
};

// A line as written to the log: a backslash as \\, a line feed as \n, a
// carriage return as \r, a tab as \t and every other byte below 0x20 (and
// 0x7F) as \xHH, so that one line run is one line of the log, whatever a
// client sends. Bytes from 0x80 up (GBK) stay as they are.
std::string log_escaped(const std::string& line);

class Card_simulator {
public:
    // A card of width x height LEDs whose flash lives in flash_path
    // (created with an erased command header when missing; empty: in
    // memory only). Like a card at power-on, it shows the script stored in
    // that flash. Its texts are drawn from fonts (the owner's, used on the
    // card's own threads only). Messages go to err_out (null: none).
    Card_simulator(Bitmap_fonts& fonts, int width, int height, const std::string& flash_path, Card_faults faults,
                   FILE* err_out);
    ~Card_simulator();

    // Listens on ip:port. False with a message.
    bool listen_on(const char* ip, int port, std::string* err);
    int port() const { return port_; }

    // Waits up to timeout_ms for the network and handles what came: new
    // clients, their frames, and answers that are due. An answer the
    // client's socket does not take at once keeps its unsent rest, which
    // goes out, in order, when the socket is writable again; the loop never
    // blocks on a client.
    void poll_once(int timeout_ms);

    // One frame from a client: runs a line, or answers a request (true,
    // with the answer's body). No sockets involved.
    bool handle(const Card_frame& f, std::string* answer);

    // Runs a USB tree's CMD/cmd.txt (with its TXT folder) as the card does
    // at power-on. False with a message when it cannot be read.
    bool run_usb(const std::string& ledsys, std::string* err);

    // Each line run goes to log with its time and tag (null: no log), the
    // line escaped by log_escaped.
    void set_log(FILE* log) { log_ = log; }

    Card_model card;
    long lines_run = 0;        // lines received and run, since start
    bool changed = true;       // the screen changed since the window last drew it
    uint64_t screen_version = 1;   // grows by one each time a line may have changed the screen
    int64_t last_save_ms = 0;  // wall-clock time of the last "file save" (ms since the epoch; 0: none)
    size_t connection_count() const { return connections_.size(); }
    // The flash as the card holds it: "file read_raw" answers from it. A
    // "file save" changes it before the next answer goes out; the file
    // follows on a thread of its own (see flash_writes).
    std::vector<uint8_t> flash;
    long save_dropped = 0;     // lines the last "file save" could not store (the script is full)
    // Answer bytes one client may leave unread (waiting for their time or
    // for its socket): beyond it the card reads no more of its requests
    // until its socket has taken them, so a client that asks and never
    // reads costs at most about this much memory, plus one frame.
    size_t max_unsent = size_t{1} << 20;
    long throttled = 0;        // times a client's requests were held back for that, since start
    // Clients served at once. When all places are taken, a new client
    // takes the place of the one idle longest, if that one has been idle
    // for evict_idle_ms with no frame begun and no answer owed; else the
    // new one is accepted and closed at once (with a message), so the
    // simulator never runs out of descriptors. The listen queue holds
    // max(max_connections, 128) clients waiting to be accepted (set it
    // before listen_on).
    size_t max_connections = 32;
    long evict_idle_ms = 5000;
    long refused = 0;          // connections refused for that, since start
    long evicted = 0;          // idle connections closed to make room, since start
    // A connection that sends no complete frame for this long is closed
    // (0: never), and so is one whose unread answers its peer has not taken
    // a byte of for as long. Bytes that make no frame do not count: a
    // frame begun must end within frame_deadline_ms (0: no deadline).
    long idle_close_ms = 60000;
    long frame_deadline_ms = 10000;
    long closed_idle = 0;      // connections closed for either, since start
    long closed_unfinished = 0;   // connections closed for a frame begun and not ended, since start
    // Bytes of led lines kept since the last clearall for the next "file
    // save" (a stored script holds far less): beyond it lines still run,
    // and are not kept.
    size_t max_kept_bytes = size_t{1} << 20;

    // Bytes the connections hold: unsent and not yet due answers, and
    // request bytes read and not yet handled.
    size_t held_bytes() const;
    // Times the flash file was written since start (from any thread).
    long flash_writes() const;
    // Waits until the flash file holds the last "file save" handed to it
    // (from any thread).
    void wait_flash_written();

private:
    struct Pending {
        long due_ms;
        std::string bytes;
    };
    struct Connection {
        int fd;
        Frame_reader reader;
        long lines = 0;          // lines counted for close_after; -1: to be closed
        std::string out;         // answer bytes due; those from out_at on are not yet taken by the socket
        size_t out_at = 0;
        std::deque<Pending> later;   // answers not yet due (the delay fault), in the order asked
        size_t waiting = 0;      // bytes of later
        long run = 0;            // lines of this connection run, for "card count"
        long last_ms = 0;        // when its last complete frame came, or it came (now_ms)
        long begun_ms = 0;       // when the frame it is sending began (0: none begun)
        long taken_ms = 0;       // when its socket last took answer bytes, or had none to take
        bool held = false;       // frames to handle before its socket is read again
        bool throttled = false;  // held while its answers wait
        size_t unsent() const { return out.size() - out_at + waiting; }
    };
    class Flash_writer;
    static constexpr int frames_per_turn = 128;   // frames of one client handled in one pass
    void accept_client();
    void read_client(Connection& c, bool readable);
    void handle_frame(Connection& c, const Card_frame& f);
    void write_client(Connection& c);
    void drop(size_t index);
    void drop_closed();
    void save_script();
    void settle_save();
    bool write_flash();

    std::string flash_path_;
    Card_faults faults_;
    FILE* err_;
    FILE* log_ = nullptr;
    int listen_fd_ = -1;
    int port_ = 0;
    std::vector<Connection> connections_;
    std::vector<pollfd> fds_;               // poll's list, kept between passes
    std::string answer_;                    // the answer being made, kept between frames
    std::vector<Card_frame> since_clear_;   // lines run since the last clearall
    size_t kept_bytes_ = 0;                 // of since_clear_'s bodies
    long accept_paused_until_ = 0;          // after accept ran out of descriptors (now_ms)
    bool save_due_ = false;                 // a "file save" came and the flash does not hold it yet
    std::unique_ptr<Flash_writer> writer_;  // the flash file's writer thread (started with the first save)
};
