// The card simulator behind the network: the card model, its flash, and
// the frames of our card protocol (docs/card-protocol.md). vantiro-card is
// a thin shell around it; tests run it in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

class Card_simulator {
public:
    // A card of width x height LEDs whose flash lives in flash_path
    // (created with an erased command header when missing; empty: in
    // memory only). Like a card at power-on, it shows the script stored in
    // that flash. Messages go to err_out (null: none).
    Card_simulator(int width, int height, const std::string& flash_path, Card_faults faults,
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

    // Each line run goes to log with its time and tag (null: no log).
    void set_log(FILE* log) { log_ = log; }

    Card_model card;
    long lines_run = 0;        // lines received and run, since start
    bool changed = true;       // the screen changed since the window last drew it
    uint64_t screen_version = 1;   // grows by one each time a line may have changed the screen
    int64_t last_save_ms = 0;  // wall-clock time of the last "file save" (ms since the epoch; 0: none)
    size_t connection_count() const { return connections_.size(); }
    std::vector<uint8_t> flash;
    long save_dropped = 0;     // lines the last "file save" could not store (the script is full)
    // Answer bytes one client may leave unread (waiting for their time or
    // for its socket) before its connection is closed: a client that asks
    // and never reads costs at most this much memory.
    size_t max_unsent = size_t{1} << 20;
    long dropped_unread = 0;   // connections closed for that, since start
    // Clients served at once; one more is accepted and closed at once
    // (with a message), so the simulator never runs out of descriptors.
    size_t max_connections = 32;
    long refused = 0;          // connections refused for that, since start
    // A connection that sends nothing for this long is closed (0: never).
    long idle_close_ms = 60000;
    long closed_idle = 0;      // connections closed for that, since start
    // Bytes of led lines kept since the last clearall for the next "file
    // save" (a stored script holds far less): beyond it lines still run,
    // and are not kept.
    size_t max_kept_bytes = size_t{1} << 20;

private:
    struct Connection {
        int fd;
        Frame_reader reader;
        long lines = 0;          // lines counted for close_after; -1: to be closed
        std::string out;         // answer bytes due but not yet taken by the socket
        size_t waiting = 0;      // bytes of its answers in pending_, not yet due
        long run = 0;            // lines of this connection run, for "card count"
        long last_ms = 0;        // when it last sent something (now_ms)
    };
    struct Pending {
        int fd;
        long due_ms;
        std::string bytes;
    };
    void accept_client();
    void read_client(Connection& c);
    void write_client(Connection& c);
    Connection* connection_of(int fd);
    void drop(size_t index);
    void save_script();
    bool write_flash();

    std::string flash_path_;
    Card_faults faults_;
    FILE* err_;
    FILE* log_ = nullptr;
    int listen_fd_ = -1;
    int port_ = 0;
    std::vector<Connection> connections_;
    std::vector<Pending> pending_;
    std::vector<Card_frame> since_clear_;   // lines run since the last clearall
    size_t kept_bytes_ = 0;                 // of since_clear_'s bodies
    long accept_paused_until_ = 0;          // after accept ran out of descriptors (now_ms)
};
