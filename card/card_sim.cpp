#include "card/card_sim.h"
#include "card/screen_feed.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

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

std::string log_escaped(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (const char ch : line) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '\\') {
            out += "\\\\";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// Writes the flash file on a thread of its own, so that the network loop
// never waits for the disk. The loop hands it the stored script's part of
// the flash (the rest never changes); a part handed while an earlier one is
// being written replaces any other waiting, so a burst of saves costs one
// write after the one under way.
class Card_simulator::Flash_writer {
public:
    Flash_writer(std::string path, std::vector<uint8_t> image, FILE* err)
        : path_(std::move(path)), image_(std::move(image)), err_(err), thread_([this] { run(); }) {}
    ~Flash_writer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();   // after writing what was handed
    }
    void hand(const uint8_t* window) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            next_.assign(window, window + (flash_window_end - flash_window_start));
            has_next_ = true;
        }
        wake_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !has_next_ && !busy_; });
    }
    long writes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return has_next_ || stop_; });
            if (!has_next_) return;
            std::copy(next_.begin(), next_.end(), image_.begin() + flash_window_start);
            has_next_ = false;
            busy_ = true;
            lock.unlock();
            std::string err;
            if (!platform_write_file_atomic(path_.c_str(), image_.data(), image_.size(), &err) && err_)
                std::fprintf(err_, "card: cannot keep the flash: %s\n", err.c_str());
            lock.lock();
            busy_ = false;
            ++writes_;
            wake_.notify_all();
        }
    }
    std::string path_;
    std::vector<uint8_t> image_;   // the whole flash file (the writer's own copy)
    FILE* err_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<uint8_t> next_;    // the stored script's part to write next
    bool has_next_ = false, busy_ = false, stop_ = false;
    long writes_ = 0;
    std::thread thread_;           // last: starts when the rest is ready
};

Card_simulator::Card_simulator(Bitmap_fonts& fonts, int width, int height, const std::string& flash_path,
                               Card_faults faults, FILE* err_out)
    : card(fonts, width, height), flash(flash_window_end, 0xFF), flash_path_(flash_path), faults_(faults),
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
    writer_ = std::make_unique<Flash_writer>(flash_path_, flash, err_);
}

Card_simulator::~Card_simulator() {
    settle_save();
    writer_.reset();   // writes what a last "file save" stored
    for (Connection& c : connections_) close(c.fd);
    if (listen_fd_ >= 0) close(listen_fd_);
}

long Card_simulator::flash_writes() const { return writer_ ? writer_->writes() : 0; }

void Card_simulator::wait_flash_written() {
    if (writer_) writer_->wait();
}

size_t Card_simulator::held_bytes() const {
    size_t n = 0;
    for (const Connection& c : connections_) n += c.unsent() + c.reader.buffered();
    return n;
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
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(fd, static_cast<int>(std::min<size_t>(std::max<size_t>(max_connections, 128), INT_MAX))) != 0) {
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
            std::fprintf(log_, "%s.%03ld tag %d %s\n", when, ts.tv_nsec / 1000000, f.tag, log_escaped(line).c_str());
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
            save_due_ = true;   // stored before the next answer (settle_save): a burst stores once
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
        settle_save();
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
    if (dropped && err_)
        std::fprintf(err_, "card: file save stored %zu lines; %zu did not fit the stored script\n", stored, dropped);
    // The file is written only when the stored script changed.
    if (std::equal(image.begin() + flash_window_start, image.end(), flash.begin() + flash_window_start)) return;
    std::copy(image.begin() + flash_window_start, image.end(), flash.begin() + flash_window_start);
    if (writer_) writer_->hand(flash.data() + flash_window_start);
}

void Card_simulator::settle_save() {
    if (!save_due_) return;
    save_due_ = false;
    save_script();
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
    settle_save();
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
        const long now = now_ms();
        if (connections_.size() >= max_connections) {
            // Full: the client idle longest makes room, if it has been idle
            // long enough, is sending no frame and is owed no answer.
            size_t idlest = connections_.size();
            for (size_t i = 0; i < connections_.size(); ++i) {
                const Connection& c = connections_[i];
                if (evict_idle_ms > 0 && c.lines >= 0 && c.unsent() == 0 && !c.held && c.reader.buffered() == 0 &&
                    now - c.last_ms >= evict_idle_ms &&
                    (idlest == connections_.size() || c.last_ms < connections_[idlest].last_ms))
                    idlest = i;
            }
            if (idlest == connections_.size()) {
                close(fd);
                ++refused;
                if (err_)
                    std::fprintf(err_, "card: %zu clients are connected; a new one is refused\n", connections_.size());
                continue;
            }
            if (err_)
                std::fprintf(err_, "card: %zu clients are connected; one idle for %ld s makes room for a new one\n",
                             connections_.size(), (now - connections_[idlest].last_ms) / 1000);
            ++evicted;
            drop(idlest);
        }
        if (faults_.send_buffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &faults_.send_buffer, sizeof faults_.send_buffer);
        connections_.emplace_back();
        Connection& c = connections_.back();
        c.fd = fd;
        c.last_ms = c.taken_ms = now;
    }
}

void Card_simulator::drop(size_t index) {
    close(connections_[index].fd);
    connections_.erase(connections_.begin() + static_cast<long>(index));
}

void Card_simulator::drop_closed() {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const Connection& c) {
                                          if (c.lines < 0) close(c.fd);
                                          return c.lines < 0;
                                      }),
                       connections_.end());
}

// Handles the frames the connection sent: those read before, then (when
// readable) one read's worth more; at most frames_per_turn of them, so that
// a client that pipelines cannot make a pass long for the others (the rest
// wait for the next pass). While its answers wait unread beyond max_unsent
// it handles none, and its socket is not read: the client is throttled,
// the connection stays.
void Card_simulator::read_client(Connection& c, bool readable) {
    bool fed = false, framed = false;
    Card_frame f;
    int handled = 0;
    while (c.lines >= 0) {
        if (c.unsent() >= max_unsent) {
            if (!c.throttled) ++throttled;
            c.held = c.throttled = true;
            break;
        }
        c.held = c.throttled = false;
        if (handled == frames_per_turn) {
            c.held = true;
            break;
        }
        const Frame_reader::Status s = c.reader.next(&f);
        if (s == Frame_reader::Status::bad) {
            if (err_) std::fprintf(err_, "card: a frame that is not one; the connection is closed\n");
            c.lines = -1;
            return;
        }
        if (s == Frame_reader::Status::frame) {
            framed = true;
            ++handled;
            handle_frame(c, f);
            continue;
        }
        if (!readable || fed) break;
        uint8_t buf[65536];
        const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            c.lines = -1;   // closed by the client
            return;
        }
        if (n < 0) break;
        c.reader.feed(buf, static_cast<size_t>(n));
        fed = true;
    }
    const long now = now_ms();
    if (framed) c.last_ms = now;   // only whole frames keep a connection alive
    // A frame begun: its bytes came and its end has not (held requests are
    // whole frames not read yet, and begin nothing).
    if (c.held || c.reader.buffered() == 0)
        c.begun_ms = 0;
    else if (framed || c.begun_ms == 0)
        c.begun_ms = now;
    settle_save();   // before any answer goes out
}

void Card_simulator::handle_frame(Connection& c, const Card_frame& f) {
    const bool answers = handle(f, &answer_);
    if (f.kind == frame_line) ++c.run;
    if (f.kind == frame_request && trimmed(f.body) == "card count")
        answer_ = std::to_string(c.run) + " lines run on this connection";
    if (f.kind == frame_line && faults_.close_after >= 0 && ++c.lines >= faults_.close_after) {
        c.lines = -1;   // the fault: the card drops the connection
        return;
    }
    if (!answers || faults_.silent) return;
    uint8_t head[frame_head_size];
    encode_frame_head(frame_answer, f.tag, answer_.size(), head);
    if (faults_.delay_ms <= 0) {
        c.out.append(reinterpret_cast<const char*>(head), sizeof head);
        c.out += answer_;
        return;
    }
    Pending p{now_ms() + faults_.delay_ms, std::string(reinterpret_cast<const char*>(head), sizeof head)};
    p.bytes += answer_;
    c.waiting += p.bytes.size();
    c.later.push_back(std::move(p));
}

// Writes as much of the connection's unsent answer bytes as its socket
// takes now; the rest stays for the next time poll says it is writable.
void Card_simulator::write_client(Connection& c) {
    while (c.out_at < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.out_at, c.out.size() - c.out_at, MSG_NOSIGNAL);
        if (n > 0) {
            c.out_at += static_cast<size_t>(n);
            c.taken_ms = now_ms();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            c.lines = -1;   // the client is gone
            return;
        }
    }
    // What was sent is dropped when it is all of it, or most of a large
    // buffer: each byte moves at most once.
    if (c.out_at == c.out.size()) {
        c.out.clear();
        c.out_at = 0;
    } else if (c.out_at > 65536 && c.out_at * 2 > c.out.size()) {
        c.out.erase(0, c.out_at);
        c.out_at = 0;
    }
}

void Card_simulator::poll_once(int timeout_ms) {
    long now = now_ms();
    const bool accepting = listen_fd_ >= 0 && now >= accept_paused_until_;
    fds_.clear();
    fds_.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});   // -1: not watched
    long wait = timeout_ms;
    for (const Connection& c : connections_) {
        // A throttled client's requests are not read until its answers
        // are taken; frames already read and held go on in the next pass.
        const bool reading = c.unsent() < max_unsent;
        short events = reading ? POLLIN : 0;
        if (c.out_at < c.out.size()) events |= POLLOUT;
        fds_.push_back({c.fd, events, 0});
        if (reading && c.held) wait = 0;
        if (!c.later.empty()) wait = std::min(wait, std::max(0L, c.later.front().due_ms - now));
    }
    if (!accepting && listen_fd_ >= 0) wait = std::min(wait, std::max(0L, accept_paused_until_ - now));
    if (poll(fds_.data(), fds_.size(), static_cast<int>(wait)) < 0 && errno != EINTR) return;
    for (size_t i = 0; i < connections_.size(); ++i) {
        Connection& c = connections_[i];
        const bool readable = fds_[i + 1].revents & (POLLIN | POLLHUP | POLLERR);
        if (readable || (c.held && c.unsent() < max_unsent)) read_client(c, readable);
    }
    settle_save();   // a save from a client that then closed, or sent what is no frame
    drop_closed();
    if (accepting && (fds_[0].revents & POLLIN)) accept_client();
    // Answers that are due join their connection's unsent bytes, in the
    // order they were asked for; then each connection writes what its
    // socket takes.
    now = now_ms();
    for (Connection& c : connections_) {
        while (!c.later.empty() && c.later.front().due_ms <= now) {
            c.waiting -= c.later.front().bytes.size();
            c.out += c.later.front().bytes;
            c.later.pop_front();
        }
        if (c.lines >= 0 && c.out_at < c.out.size()) write_client(c);
        if (c.lines < 0) continue;
        if (c.out_at == c.out.size()) c.taken_ms = now;
        if (idle_close_ms > 0 && ((now - c.last_ms >= idle_close_ms && c.unsent() == 0 && !c.held) ||
                                  now - c.taken_ms >= idle_close_ms)) {
            c.lines = -1;   // silent that long, or its answers unread that long
            ++closed_idle;
        } else if (frame_deadline_ms > 0 && c.begun_ms > 0 && now - c.begun_ms >= frame_deadline_ms) {
            if (err_)
                std::fprintf(err_, "card: a client began a frame %ld ms ago and did not end it; the connection is closed\n",
                             now - c.begun_ms);
            c.lines = -1;
            ++closed_unfinished;
        }
    }
    drop_closed();
}
