#include "card/card_sim.h"
#include "card/screen_feed.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "command/command_value.h"
#include "command/flash_image.h"
#include "command/interpreter.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"

namespace {

long now_ms() {
    using namespace std::chrono;
    return static_cast<long>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The line without its line end and the blanks around it.
std::string trimmed(const std::string& body) {
    size_t a = 0, b = body.size();
    while (a < b && (body[a] == ' ')) ++a;
    while (b > a && (body[b - 1] == '\n' || body[b - 1] == '\r' || body[b - 1] == ' ' || body[b - 1] == 0)) --b;
    return body.substr(a, b - a);
}

}  // namespace

Card_simulator::Card_simulator(int width, int height, const std::string& flash_path, Card_faults faults,
                               FILE* err_out)
    : card(width, height), flash(flash_window_end, 0xFF), flash_path_(flash_path), faults_(faults),
      err_(err_out) {
    if (flash_path_.empty()) return;
    std::vector<uint8_t> bytes;
    std::string err;
    if (platform_read_file(flash_path_.c_str(), max_flash_image_bytes, &bytes, &err)) {
        flash = bytes;
        if (flash.size() < flash_window_end) flash.resize(flash_window_end, 0xFF);
        // Power-on: the card shows the script it stored with its last "file save".
        card.run_stored(flash.data(), flash.size());
    } else {
        // A new card: erased flash, so the editor finds no command header.
        if (err_) std::fprintf(err_, "card: %s; starting with an erased flash\n", err.c_str());
        write_flash();
    }
}

Card_simulator::~Card_simulator() {
    for (Connection& c : connections_) close(c.fd);
    if (listen_fd_ >= 0) close(listen_fd_);
}

bool Card_simulator::write_flash() {
    if (flash_path_.empty()) return true;
    std::string err;
    if (platform_write_file_atomic(flash_path_.c_str(), flash.data(), flash.size(), &err)) return true;
    if (err_) std::fprintf(err_, "card: cannot keep the flash: %s\n", err.c_str());
    return false;
}

bool Card_simulator::listen_on(const char* ip, int port, std::string* err) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, ip, &a.sin_addr) != 1 ||
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 8) != 0) {
        *err = std::string("card: cannot listen on ") + ip + ":" + std::to_string(port) + ": " +
               std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen_fd_ = fd;
    return true;
}

bool Card_simulator::handle(const Card_frame& f, std::string* answer) {
    if (f.kind == frame_line) {
        const std::string line = trimmed(f.body);
        ++lines_run;
        if (log_) {
            timespec ts{};
            clock_gettime(CLOCK_REALTIME, &ts);
            std::tm tm{};
            localtime_r(&ts.tv_sec, &tm);
            char when[32];
            std::strftime(when, sizeof when, "%H:%M:%S", &tm);
            std::fprintf(log_, "%s.%03ld tag %d %s\n", when, ts.tv_nsec / 1000000, f.tag, line.c_str());
            std::fflush(log_);
        }
        card.run_line(line.data(), line.size());
        changed = true;
        ++screen_version;
        if (line.rfind("led clearall", 0) == 0) {
            since_clear_.clear();
            since_clear_.shrink_to_fit();
            kept_bytes_ = 0;
        } else if (line.rfind("file save", 0) == 0) {
            last_save_ms = screen_feed_now_ms();
            save_script();
        } else if (line.rfind("led ", 0) == 0 && since_clear_.size() < 4096 &&
                   kept_bytes_ + line.size() <= max_kept_bytes) {
            // What a stored script can hold: the led lines (the editor
            // re-creates texts and rectangles from them).
            Card_frame kept;
            kept.kind = f.kind;
            kept.tag = f.tag;
            kept.body = line;
            kept_bytes_ += line.size();
            since_clear_.push_back(std::move(kept));
        }
        return false;
    }
    if (f.kind != frame_request) return false;
    answer->clear();
    const std::string request = trimmed(f.body);
    char word[32] = {}, what[32] = {}, addr[32] = {};
    long length = 0;
    if (std::sscanf(request.c_str(), "%31s %31s %31s %ld", word, what, addr, &length) == 4 &&
        !std::strcmp(word, "file") && !std::strcmp(what, "read_raw")) {
        const uint32_t at = parse_value(addr);
        if (length > 1024) length = 1024;
        for (long k = 0; k < length && size_t{at} + size_t(k) < flash.size(); ++k)
            *answer += static_cast<char>(flash[at + static_cast<size_t>(k)]);
    } else if (request == "card status") {
        *answer = std::to_string(lines_run) + " lines run";
    }
    return true;
}

void Card_simulator::save_script() {
    // The led lines since the last clear become the stored script: texts as
    // file lines with the text as payload, so that blanks survive (the runs
    // of one text, sent as separate lines, are joined again), the rest as
    // they came.
    struct Stored {
        int32_t tag;
        Command_value v;   // a text, its bytes in text
        std::string text;
        std::string line;  // any other line
    };
    std::vector<Stored> kept;
    for (const Card_frame& f : since_clear_) {
        std::vector<char> copy(f.body.begin(), f.body.end());
        copy.push_back('\0');
        Command_value v;
        if (!parse_command_line(copy.data(), &v) || v.verb != Verb::text) {
            kept.push_back({f.tag, {}, {}, f.body});
            continue;
        }
        const std::string run(v.text, v.text_length);
        if (!kept.empty() && kept.back().line.empty()) {
            Stored& prev = kept.back();
            const int64_t end = int64_t{static_cast<int32_t>(prev.v.number[1])} +
                                text_advance(prev.v.font_height, prev.text.data(), prev.text.size());
            const int64_t blank = text_advance(v.font_height, " ", 1);
            const int64_t gap = int64_t{static_cast<int32_t>(v.number[1])} - end;
            if (prev.v.font_height == v.font_height && prev.v.number[0] == v.number[0] &&
                prev.v.number[2] == v.number[2] && blank > 0 && gap > 0 && gap % blank == 0 &&
                gap / blank <= 16 && prev.text.size() + run.size() + static_cast<size_t>(gap / blank) <= 511) {
                prev.text += std::string(static_cast<size_t>(gap / blank), ' ') + run;
                continue;
            }
        }
        v.text = "";
        kept.push_back({f.tag, v, run, {}});
    }
    std::vector<uint8_t> image(flash_window_end, 0xFF);
    Command_image_writer writer(image.data(), image.size());
    size_t stored = 0, dropped = 0;
    for (Stored& s : kept) {
        char data[1100];
        int n = -1;
        if (s.line.empty()) {
            s.v.command = Command_word::file;
            s.v.text = s.text.c_str();
            s.v.text_length = s.text.size();
            n = format_command(s.v, Line_style::script, data, sizeof data);
        }
        const bool ok = n > 0 ? writer.add(static_cast<uint32_t>(s.tag), data, static_cast<size_t>(n))
                              : writer.add(static_cast<uint32_t>(s.tag), s.line.data(), s.line.size());
        ok ? ++stored : ++dropped;
    }
    writer.finish();
    save_dropped = static_cast<long>(dropped);
    std::copy(image.begin() + flash_window_start, image.end(), flash.begin() + flash_window_start);
    if (dropped && err_)
        std::fprintf(err_, "card: file save stored %zu lines; %zu did not fit the stored script\n", stored, dropped);
    write_flash();
}

bool Card_simulator::run_usb(const std::string& ledsys, std::string* err) {
    std::vector<uint8_t> script;
    const std::string path = ledsys + "/CMD/cmd.txt";
    if (!platform_read_file(path.c_str(), 256u << 20, &script, err)) {
        *err = "card: " + *err;
        return false;
    }
    card.set_txt_folder(ledsys + "/TXT");
    // Line by line as from the network, so that its "file save" stores it.
    for_each_script_line(
        script.data(), script.size(),
        [](void* sim, const char* line, size_t n) {
            Card_frame f{frame_line, 0, std::string(line, n)};
            std::string answer;
            if (!trimmed(f.body).empty()) static_cast<Card_simulator*>(sim)->handle(f, &answer);
        },
        this);
    return true;
}

void Card_simulator::accept_client() {
    for (;;) {
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors (or memory): the waiting client stays
            // queued; try again a little later rather than spin.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                accept_paused_until_ = now_ms() + 100;
            return;
        }
        if (connections_.size() >= max_connections) {
            close(fd);
            ++refused;
            if (err_) std::fprintf(err_, "card: %zu clients are connected; a new one is refused\n", connections_.size());
            continue;
        }
        if (faults_.send_buffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &faults_.send_buffer, sizeof faults_.send_buffer);
        Connection c{fd, {}, 0, {}, 0};
        c.last_ms = now_ms();
        connections_.push_back(std::move(c));
    }
}

void Card_simulator::drop(size_t index) {
    close(connections_[index].fd);
    for (size_t k = 0; k < pending_.size();)
        if (pending_[k].fd == connections_[index].fd) pending_.erase(pending_.begin() + static_cast<long>(k));
        else ++k;
    connections_.erase(connections_.begin() + static_cast<long>(index));
}

void Card_simulator::read_client(Connection& c) {
    uint8_t buf[65536];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        c.lines = -1;   // closed by the client
        return;
    }
    if (n < 0) return;
    c.last_ms = now_ms();
    c.reader.feed(buf, static_cast<size_t>(n));
    Card_frame f;
    for (;;) {
        const Frame_reader::Status s = c.reader.next(&f);
        if (s == Frame_reader::Status::need_more) return;
        if (s == Frame_reader::Status::bad) {
            if (err_) std::fprintf(err_, "card: a frame that is not one; the connection is closed\n");
            c.lines = -1;
            return;
        }
        std::string answer;
        const bool answers = handle(f, &answer);
        if (f.kind == frame_line) ++c.run;
        if (f.kind == frame_request && trimmed(f.body) == "card count")
            answer = std::to_string(c.run) + " lines run on this connection";
        if (f.kind == frame_line && faults_.close_after >= 0 && ++c.lines >= faults_.close_after) {
            c.lines = -1;   // the fault: the card drops the connection
            return;
        }
        if (answers && !faults_.silent) {
            Card_frame a{frame_answer, f.tag, answer};
            std::string bytes = encode_frame(a);
            if (c.out.size() + c.waiting + bytes.size() > max_unsent) {
                if (err_)
                    std::fprintf(err_, "card: a client left %zu answer bytes unread; the connection is closed\n",
                                 c.out.size() + c.waiting);
                ++dropped_unread;
                c.lines = -1;
                return;
            }
            c.waiting += bytes.size();
            pending_.push_back(Pending{c.fd, now_ms() + faults_.delay_ms, std::move(bytes)});
        }
    }
}

Card_simulator::Connection* Card_simulator::connection_of(int fd) {
    for (Connection& c : connections_)
        if (c.fd == fd) return &c;
    return nullptr;
}

// Writes as much of the connection's unsent answer bytes as its socket
// takes now; the rest stays for the next time poll says it is writable.
void Card_simulator::write_client(Connection& c) {
    while (!c.out.empty()) {
        const ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            c.lines = -1;   // the client is gone
            return;
        }
    }
}

void Card_simulator::poll_once(int timeout_ms) {
    std::vector<pollfd> fds;
    const bool accepting = listen_fd_ >= 0 && now_ms() >= accept_paused_until_;
    fds.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});   // -1: not watched
    for (const Connection& c : connections_)
        fds.push_back({c.fd, static_cast<short>(c.out.empty() ? POLLIN : POLLIN | POLLOUT), 0});
    long wait = timeout_ms;
    for (const Pending& p : pending_) wait = std::min(wait, std::max(0L, p.due_ms - now_ms()));
    if (!accepting && listen_fd_ >= 0) wait = std::min(wait, std::max(0L, accept_paused_until_ - now_ms()));
    if (poll(fds.data(), fds.size(), static_cast<int>(wait)) < 0 && errno != EINTR) return;
    size_t k = 1;
    if (accepting && (fds[0].revents & POLLIN)) accept_client();
    for (size_t i = 0; i < connections_.size() && k < fds.size(); ++i, ++k)
        if (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) read_client(connections_[i]);
    // Answers that are due join their connection's unsent bytes, in the
    // order they were asked for; then each connection writes what its
    // socket takes.
    const long now = now_ms();
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].due_ms > now) {
            ++i;
            continue;
        }
        if (Connection* c = connection_of(pending_[i].fd)) {
            c->waiting -= pending_[i].bytes.size();
            if (c->lines >= 0) c->out += pending_[i].bytes;
        }
        pending_.erase(pending_.begin() + static_cast<long>(i));
    }
    for (Connection& c : connections_) {
        if (c.lines >= 0 && !c.out.empty()) write_client(c);
        if (c.lines >= 0 && idle_close_ms > 0 && now - c.last_ms >= idle_close_ms && c.out.empty() && !c.waiting) {
            c.lines = -1;
            ++closed_idle;
        }
    }
    for (size_t i = connections_.size(); i-- > 0;)
        if (connections_[i].lines < 0) drop(i);
}
