#include "web/live_page.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <civetweb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "card/screen_feed.h"
#include "render/led_png.h"
#include "web/page_assets.h"

namespace {

int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The live message (docs/card-protocol.md, "The web page's live feed"):
// a 32-byte header, then rows, each its index (u16) and width codes.
constexpr size_t header_bytes = 32;
constexpr uint8_t kind_whole = 1, kind_rows = 2;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF), put16(p + 2, v >> 16);
}
void put_f64(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace

size_t live_page_viewer_bytes(int width, int height) {
    const size_t leds = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Last frame sent, frame being sent, the message (rows with their
    // indexes), and 256 KiB for the server's 16 KiB request buffer and the
    // touched stack and bookkeeping of the two threads a viewer has.
    return 3 * leds + 2 * static_cast<size_t>(height) + header_bytes + 256 * 1024;
}

// One WebSocket viewer. Its writer thread takes the newest screen from the
// feed, sends what changed since its last frame, and sleeps out the rest
// of the frame time; only this thread waits on this viewer's socket.
struct Viewer {
    Live_page::State* page = nullptr;
    mg_connection* conn = nullptr;
    int fd = -1;                          // the connection's socket, -1 when not found
    std::mutex mutex;                     // guards fd against closed
    bool closed = false;                  // the server is closing the connection
    std::atomic<bool> leaving{false};     // the writer is to end
    std::atomic<int64_t> write_started{0};   // steady ms of the write under way, 0: none
    std::thread writer;
    Screen_frame frame;                   // newest screen taken from the feed
    std::vector<uint8_t> last;            // the screen as this viewer has it
    int last_width = 0, last_height = 0;
    long last_lines = -1, last_connections = -1;
    std::vector<uint8_t> message;

    // Cuts the connection: the writer's send fails, the server's read ends
    // and the close handler follows.
    void drop() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!closed && fd >= 0) shutdown(fd, SHUT_RDWR);
        leaving = true;
    }
};

struct Live_page::State {
    Live_page_options options;
    Screen_feed* feed = nullptr;
    mg_context* ctx = nullptr;
    int port = 0;
    std::mutex mutex;                 // guards viewers
    std::vector<Viewer*> viewers;
    std::atomic<bool> stopping{false};
    std::thread watchdog;
};

namespace {

using State = Live_page::State;

const char* const security_headers =
    "Content-Security-Policy: default-src 'self'; connect-src 'self'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Connection: close\r\n";

const char* reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 426: return "Upgrade Required";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

// Sends a whole response; the body is left out for HEAD. Returns status
// (the request is handled). The server's threads have small stacks (about
// 100 KiB, less room still under the sanitizers): the handlers keep their
// text on the heap and format it without printf.
int respond(mg_connection* conn, int status, const char* type, const void* body, size_t size,
            const char* cache, const char* extra = "") {
    const mg_request_info* ri = mg_get_request_info(conn);
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\nContent-Type: " + type +
                       "\r\nContent-Length: " + std::to_string(size) + "\r\nCache-Control: " + cache + "\r\n" +
                       security_headers + extra + "\r\n";
    mg_write(conn, head.data(), head.size());
    if (std::strcmp(ri->request_method, "HEAD") != 0 && size > 0) mg_write(conn, body, size);
    return status;
}

int respond_text(mg_connection* conn, int status, const std::string& text, const char* extra = "") {
    return respond(conn, status, "text/plain; charset=utf-8", text.data(), text.size(), "no-store", extra);
}

int count_viewers(State* s) {
    std::lock_guard<std::mutex> lock(s->mutex);
    return static_cast<int>(s->viewers.size());
}

int serve_state(mg_connection* conn, State* s) {
    Screen_frame f;
    const bool have = s->feed->latest(&f);
    using std::to_string;
    const std::string json =
        "{\"width\":" + to_string(have ? f.width : 0) + ",\"height\":" + to_string(have ? f.height : 0) +
        ",\"brightness\":" + to_string(have ? f.brightness : -1) + ",\"lines_run\":" + to_string(have ? f.lines_run : 0L) +
        ",\"connections\":" + to_string(have ? f.connections : 0L) +
        ",\"last_change_ms\":" + to_string(have ? f.change_ms : int64_t{0}) +
        ",\"last_save_ms\":" + to_string(have ? f.save_ms : int64_t{0}) + ",\"viewers\":" + to_string(count_viewers(s)) +
        ",\"max_viewers\":" + to_string(s->options.max_viewers) + "}\n";
    return respond(conn, 200, "application/json", json.data(), json.size(), "no-store");
}

int serve_png(mg_connection* conn, State* s) {
    Screen_frame f;
    if (!s->feed->latest(&f)) return respond_text(conn, 503, "web: the screen is not shown yet\n");
    std::string err;
    if (!led_png_size_ok(f.width, f.height, &err)) return respond_text(conn, 413, "web: " + err + "\n");
    Led_framebuffer screen(f.width, f.height);
    for (int y = 0; y < f.height; ++y)
        std::memcpy(screen.row(y), f.leds.data() + static_cast<size_t>(y) * static_cast<size_t>(f.width),
                    static_cast<size_t>(f.width));
    // Encoded on a thread of ordinary stack (see respond).
    std::vector<uint8_t> png;
    bool encoded = false;
    std::thread([&] { encoded = encode_led_png(screen, &png, &err); }).join();
    if (!encoded) return respond_text(conn, 500, "web: " + err + "\n");
    return respond(conn, 200, "image/png", png.data(), png.size(), "no-store");
}

int refuse_viewer(mg_connection* conn, State* s) {
    return respond_text(conn, 503,
                        "web: the card already shows its screen to " + std::to_string(s->options.max_viewers) +
                            " viewers, its most\n",
                        "Retry-After: 5\r\n");
}

bool is_upgrade(mg_connection* conn) {
    const char* up = mg_get_header(conn, "Upgrade");
    return up && mg_strcasecmp(up, "websocket") == 0;
}

// True when the request's path held an escape (%xx). The server decodes
// the path in place, in its request buffer, before anything else sees it:
// the path as sent ran up to the query's "?" or to the space before
// "HTTP/" and the version, and a decoded path is shorter than that span. (Should the
// buffer not be laid out so, nothing is concluded.)
bool was_escaped(const mg_request_info* ri) {
    const char* uri = ri->request_uri;
    const char* end = nullptr;
    if (!uri) return false;
    if (ri->query_string && ri->query_string > uri) {
        end = ri->query_string - 1;
    } else if (ri->http_version && ri->http_version >= uri + 6 &&
               std::memcmp(ri->http_version - 5, "HTTP/", 5) == 0) {
        end = ri->http_version - 6;
    }
    if (!end || end - uri > 16384) return false;
    return std::strlen(uri) != static_cast<size_t>(end - uri);
}

// Every request passes here first. Only the page's own few paths, asked
// for exactly and by GET or HEAD, are served; the WebSocket upgrade on
// /live goes on to the server's handshake when a viewer's place is free.
int begin_request(mg_connection* conn) {
    State* s = static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
    const mg_request_info* ri = mg_get_request_info(conn);
    const char* method = ri->request_method ? ri->request_method : "";
    // Any escape in the path, any dot segment and any absolute form is
    // refused, whatever it would decode to.
    const char* uri = ri->request_uri ? ri->request_uri : "";
    const char* raw = ri->local_uri_raw ? ri->local_uri_raw : "";
    const bool get = std::strcmp(method, "GET") == 0, head = std::strcmp(method, "HEAD") == 0;
    if (was_escaped(ri) || std::strstr(uri, "..") || std::strcmp(uri, raw) != 0 || uri[0] != '/')
        return respond_text(conn, 400, "web: not a path of this page\n");
    if (!get && !head) return respond_text(conn, 405, "web: this page only reads\n", "Allow: GET, HEAD\r\n");
    const std::string path = raw;
    if (is_upgrade(conn) && path != "/live") return respond_text(conn, 400, "web: only /live is a WebSocket\n");
    if (path == "/live") {
        if (!get || !is_upgrade(conn)) return respond_text(conn, 426, "web: /live is a WebSocket\n", "Upgrade: websocket\r\n");
        // The WebSocket handshake is an HTTP/1.1 request.
        if (!ri->http_version || std::strcmp(ri->http_version, "1.1") != 0)
            return respond_text(conn, 400, "web: a WebSocket needs HTTP/1.1\n");
        if (count_viewers(s) >= s->options.max_viewers) return refuse_viewer(conn, s);
        return 0;   // the handshake
    }
    if (path == "/")
        return respond(conn, 200, "text/html; charset=utf-8", page_html, std::strlen(page_html), "no-cache");
    if (path == "/app.js")
        return respond(conn, 200, "text/javascript; charset=utf-8", page_js, std::strlen(page_js), "no-cache");
    if (path == "/app.css")
        return respond(conn, 200, "text/css; charset=utf-8", page_css, std::strlen(page_css), "no-cache");
    if (path == "/state.json") return serve_state(conn, s);
    if (path == "/screen.png") return serve_png(conn, s);
    return respond_text(conn, 404, "web: no such page\n");
}

// The errors the server finds itself (bad requests, time-outs) are its
// answers to the client; the card's own output stays quiet.
int log_message(const mg_connection*, const char*) { return 1; }

// The server keeps the socket of a connection to itself; the viewer's is
// found by its two ends, so its unsent bytes can be measured and a stuck
// viewer cut off.
int find_socket(const mg_request_info* ri) {
    rlimit lim{};
    int most = 1024;
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
        most = static_cast<int>(std::min<rlim_t>(lim.rlim_cur, 65536));
    for (int fd = 0; fd < most; ++fd) {
        sockaddr_storage local{}, peer{};
        socklen_t ln = sizeof local, pn = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ln) != 0) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pn) != 0) continue;
        char text[INET6_ADDRSTRLEN] = "";
        int lport = 0, pport = 0;
        if (peer.ss_family == AF_INET) {
            auto* p = reinterpret_cast<sockaddr_in*>(&peer);
            inet_ntop(AF_INET, &p->sin_addr, text, sizeof text);
            pport = ntohs(p->sin_port);
            lport = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        } else if (peer.ss_family == AF_INET6) {
            auto* p = reinterpret_cast<sockaddr_in6*>(&peer);
            inet_ntop(AF_INET6, &p->sin6_addr, text, sizeof text);
            pport = ntohs(p->sin6_port);
            lport = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
        } else {
            continue;
        }
        if (pport == ri->remote_port && lport == ri->server_port && std::strcmp(text, ri->remote_addr) == 0) return fd;
    }
    return -1;
}

// Builds the message taking the viewer from its last frame to v->frame:
// the whole frame when the size changed or on the first, else the rows
// that differ (none: the facts alone). Returns false when nothing is to
// be sent.
bool build_message(Viewer* v) {
    const Screen_frame& f = v->frame;
    const size_t w = static_cast<size_t>(f.width);
    const bool whole = f.width != v->last_width || f.height != v->last_height;
    v->message.resize(header_bytes);
    uint32_t rows = 0;
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* now = f.leds.data() + static_cast<size_t>(y) * w;
        if (!whole && std::memcmp(now, v->last.data() + static_cast<size_t>(y) * w, w) == 0) continue;
        const size_t at = v->message.size();
        v->message.resize(at + 2 + w);   // within the capacity reserved for the screen
        put16(v->message.data() + at, static_cast<uint32_t>(y));
        std::memcpy(v->message.data() + at + 2, now, w);
        ++rows;
    }
    if (rows == 0 && !whole && f.lines_run == v->last_lines && f.connections == v->last_connections) return false;
    uint8_t* h = v->message.data();
    h[0] = whole ? kind_whole : kind_rows;
    h[1] = static_cast<uint8_t>(f.brightness < 0 ? 0 : f.brightness);
    put16(h + 2, static_cast<uint32_t>(f.width));
    put16(h + 4, static_cast<uint32_t>(f.height));
    put16(h + 6, rows);
    put_f64(h + 8, static_cast<double>(f.lines_run));
    put_f64(h + 16, static_cast<double>(f.change_ms));
    put32(h + 24, static_cast<uint32_t>(std::max(0L, f.connections)));
    put32(h + 28, 0);
    return true;
}

void writer_loop(Viewer* v) {
    State* s = v->page;
    uint64_t seen = 0;
    int64_t facts_checked = steady_ms();
    while (!v->leaving && !s->stopping) {
        bool fresh = s->feed->wait_newer(seen, &v->frame, 200);
        if (!fresh) {
            if (s->feed->stopped()) break;
            // The facts move without a new picture (lines that drew
            // nothing, clients): passed on once a second.
            if (seen == 0 || steady_ms() - facts_checked < 1000) continue;
            facts_checked = steady_ms();
            if (!s->feed->latest(&v->frame)) continue;
        }
        if (v->frame.version > seen) seen = v->frame.version;
        const size_t leds = v->frame.leds.size();
        if (v->message.capacity() < header_bytes + static_cast<size_t>(v->frame.height) * (2 + static_cast<size_t>(v->frame.width)))
            v->message.reserve(header_bytes + static_cast<size_t>(v->frame.height) * (2 + static_cast<size_t>(v->frame.width)));
        if (!build_message(v)) continue;
        // More than a few frames still unsent in the socket: this viewer
        // does not read; it is dropped rather than fed.
        int unsent = 0;
        if (v->fd >= 0 && ioctl(v->fd, SIOCOUTQ, &unsent) == 0 &&
            static_cast<size_t>(unsent) > static_cast<size_t>(live_page_backlog_frames) * (leds + header_bytes)) {
            v->drop();
            break;
        }
        const int64_t start = steady_ms();
        v->write_started = start;
        const int sent = mg_websocket_write(v->conn, MG_WEBSOCKET_OPCODE_BINARY,
                                            reinterpret_cast<const char*>(v->message.data()), v->message.size());
        v->write_started = 0;
        if (sent <= 0) {
            v->drop();
            break;
        }
        v->last.assign(v->frame.leds.begin(), v->frame.leds.end());
        v->last_width = v->frame.width, v->last_height = v->frame.height;
        v->last_lines = v->frame.lines_run, v->last_connections = v->frame.connections;
        // The rate cap: the next frame no sooner than a frame time after
        // this one began (the newest screen then wins).
        const int64_t rest = live_page_frame_ms - (steady_ms() - start);
        if (rest > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rest));
    }
}

int ws_connect(const mg_connection* conn, void* data) {
    State* s = static_cast<State*>(data);
    auto* v = new Viewer;
    v->page = s;
    bool refused = false;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->stopping || static_cast<int>(s->viewers.size()) >= s->options.max_viewers) {
            delete v;
            refused = true;
        } else {
            s->viewers.push_back(v);
        }
    }
    if (refused) {
        // Two upgrades raced for the last place: the loser hears why. (The
        // server hands this callback its connection read-only, but the
        // answer is the handler's to write, as in begin_request.)
        refuse_viewer(const_cast<mg_connection*>(conn), s);
        return 1;
    }
    mg_set_user_connection_data(conn, v);
    return 0;
}

void ws_ready(mg_connection* conn, void*) {
    auto* v = static_cast<Viewer*>(mg_get_user_connection_data(conn));
    if (!v) return;
    v->conn = conn;
    {
        std::lock_guard<std::mutex> lock(v->mutex);
        v->fd = find_socket(mg_get_request_info(conn));
    }
    v->writer = std::thread(writer_loop, v);
}

// A viewer has nothing to say: pings and pongs are the server's, a close
// ends the connection, and any data at all (above a small note) drops it.
int ws_data(mg_connection*, int bits, char*, size_t size, void*) {
    const int opcode = bits & 0x0F;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
    if (opcode == MG_WEBSOCKET_OPCODE_PING || opcode == MG_WEBSOCKET_OPCODE_PONG) return 1;
    return size <= 1024 ? 1 : 0;
}

void ws_close(const mg_connection* conn, void* data) {
    State* s = static_cast<State*>(data);
    auto* v = static_cast<Viewer*>(mg_get_user_connection_data(conn));
    if (!v) return;
    v->leaving = true;
    {
        // A writer stuck in a send is released; the socket is the
        // server's to close after this.
        std::lock_guard<std::mutex> lock(v->mutex);
        if (v->fd >= 0) shutdown(v->fd, SHUT_RDWR);
        v->closed = true;
    }
    if (v->writer.joinable()) v->writer.join();
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->viewers.erase(std::remove(s->viewers.begin(), s->viewers.end(), v), s->viewers.end());
    }
    mg_set_user_connection_data(conn, nullptr);
    delete v;
}

// Drops a viewer whose one frame has been on its way too long (its socket
// is full and it does not read).
void watchdog_loop(State* s) {
    while (!s->stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::lock_guard<std::mutex> lock(s->mutex);
        const int64_t now = steady_ms();
        for (Viewer* v : s->viewers) {
            const int64_t started = v->write_started;
            if (started != 0 && now - started > live_page_write_ms) v->drop();
        }
    }
}

}  // namespace

bool parse_http_address(const std::string& text, std::string* address, int* port, std::string* err) {
    std::string addr = "127.0.0.1", digits = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        if (colon > 0) addr = text.substr(0, colon);
        digits = text.substr(colon + 1);
    }
    if (addr.size() > 2 && addr.front() == '[' && addr.back() == ']') addr = addr.substr(1, addr.size() - 2);
    long p = -1;
    if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of("0123456789") == std::string::npos)
        p = std::stol(digits);
    in6_addr a6{};
    in_addr a4{};
    if (p < 0 || p > 65535 || (inet_pton(AF_INET, addr.c_str(), &a4) != 1 && inet_pton(AF_INET6, addr.c_str(), &a6) != 1)) {
        *err = "web: --http wants ADDR:PORT with a numeric address and a port 0..65535, not \"" + text + "\"";
        return false;
    }
    *address = addr;
    *port = static_cast<int>(p);
    return true;
}

Live_page::Live_page() : state_(new State) {}

Live_page::~Live_page() { stop(); }

bool Live_page::start(const Live_page_options& options, Screen_feed* feed, std::string* err) {
    State* s = state_.get();
    s->options = options;
    s->feed = feed;
    mg_init_library(MG_FEATURES_WEBSOCKET);
    const bool v6 = options.address.find(':') != std::string::npos;
    if (v6 && !mg_check_feature(MG_FEATURES_IPV6)) {
        *err = "web: cannot listen on " + options.address + ": the HTTP library here has no IPv6; give an IPv4 address";
        return false;
    }
    const std::string ports = (v6 ? "[" + options.address + "]" : options.address) + ":" +
                              std::to_string(options.port);
    // A thread a viewer (held for its connection) and a few for the
    // requests beside them; more wait in the server's queue.
    const std::string threads = std::to_string(options.max_viewers + 8);
    const std::string timeout = std::to_string(live_page_request_ms);
    const char* opts[] = {"listening_ports", ports.c_str(),
                          "num_threads", threads.c_str(),
                          "request_timeout_ms", timeout.c_str(),
                          "websocket_timeout_ms", "5000",
                          "enable_websocket_ping_pong", "yes",
                          "enable_keep_alive", "no",
                          "enable_directory_listing", "no",
                          "max_request_size", "16384",
                          nullptr};
    mg_callbacks callbacks{};
    callbacks.begin_request = begin_request;
    callbacks.log_message = log_message;
    s->ctx = mg_start(&callbacks, s, opts);
    if (!s->ctx) {
        *err = "web: cannot listen on " + ports + " (address in use or not this machine's)";
        return false;
    }
    mg_set_websocket_handler(s->ctx, "/live", ws_connect, ws_ready, ws_data, ws_close, s);
    mg_server_port sp[4];
    const int n = mg_get_server_ports(s->ctx, 4, sp);
    s->port = n > 0 ? sp[0].port : options.port;
    s->watchdog = std::thread(watchdog_loop, s);
    return true;
}

int Live_page::port() const { return state_->port; }

int Live_page::viewers() const { return count_viewers(state_.get()); }

void Live_page::stop() {
    State* s = state_.get();
    if (!s->ctx) return;
    s->stopping = true;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        for (Viewer* v : s->viewers) v->drop();
    }
    mg_stop(s->ctx);
    s->ctx = nullptr;
    if (s->watchdog.joinable()) s->watchdog.join();
}
