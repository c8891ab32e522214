// Load on the simulated card's network (not a test): clients that pipeline
// "card status" as fast as the card takes it, and one more client that asks
// one request at a time, as the editor's sync does, timing each answer.
//   card_net PORT [CLIENTS=32] [PROBES=300] [SAVES=0]
// With SAVES, one more client sends that many "file save"s in a burst
// (each after a clearall and an LED, so each stores another script) at the
// start of the probes, and the time until the card answered after it.
// Prints the crowd's answers a second and the probe's answer times (ms):
// min, median, 99th percentile, max; the probes end after 60 s, answered
// or not.
// Built and run by bench/card_net.sh. Sends to 127.0.0.1 only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string frame(uint8_t kind, int32_t tag, const std::string& body) {
    std::string s(9, '\0');
    const uint32_t n = static_cast<uint32_t>(body.size() + 5);
    s[0] = static_cast<char>(n >> 24), s[1] = static_cast<char>(n >> 16), s[2] = static_cast<char>(n >> 8),
    s[3] = static_cast<char>(n);
    s[4] = static_cast<char>(kind);
    const uint32_t t = static_cast<uint32_t>(tag);
    s[5] = static_cast<char>(t >> 24), s[6] = static_cast<char>(t >> 16), s[7] = static_cast<char>(t >> 8),
    s[8] = static_cast<char>(t);
    return s + body;
}

std::string request(int32_t tag, const std::string& body) { return frame(2, tag, body); }

int connect_to(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("card_net: connect");
        std::exit(1);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Counts whole frames in a byte stream.
struct Counter {
    std::string buf;
    long frames = 0;
    void feed(const char* p, size_t n) {
        buf.append(p, n);
        size_t at = 0;
        while (buf.size() - at >= 4) {
            const auto* u = reinterpret_cast<const uint8_t*>(buf.data() + at);
            const size_t len = 4 + (uint32_t{u[0]} << 24 | uint32_t{u[1]} << 16 | uint32_t{u[2]} << 8 | u[3]);
            if (buf.size() - at < len) break;
            at += len;
            ++frames;
        }
        buf.erase(0, at);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: card_net PORT [CLIENTS] [PROBES] [SAVES]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int clients = argc > 2 ? std::atoi(argv[2]) : 32;
    const int probes = argc > 3 ? std::atoi(argv[3]) : 300;
    const int saves = argc > 4 ? std::atoi(argv[4]) : 0;

    std::atomic<bool> stop{false};
    std::atomic<long> answers{0};
    std::vector<int> fds;
    for (int k = 0; k < clients; ++k) {
        fds.push_back(connect_to(port));
        fcntl(fds.back(), F_SETFL, fcntl(fds.back(), F_GETFL) | O_NONBLOCK);
    }
    std::thread crowd([&] {
        std::string asks;
        for (int k = 0; k < 1000; ++k) asks += request(k, "card status");
        std::vector<size_t> at(fds.size(), 0);
        std::vector<Counter> counters(fds.size());
        std::vector<pollfd> p;
        for (int fd : fds) p.push_back({fd, POLLIN | POLLOUT, 0});
        char buf[65536];
        while (!stop) {
            if (poll(p.data(), p.size(), 10) <= 0) continue;
            for (size_t i = 0; i < p.size(); ++i) {
                if (p[i].revents & POLLOUT) {
                    const ssize_t n = send(p[i].fd, asks.data() + at[i], asks.size() - at[i], MSG_NOSIGNAL);
                    if (n > 0) at[i] = (at[i] + static_cast<size_t>(n)) % asks.size();
                }
                if (p[i].revents & POLLIN) {
                    const ssize_t n = recv(p[i].fd, buf, sizeof buf, 0);
                    if (n > 0) {
                        const long before = counters[i].frames;
                        counters[i].feed(buf, static_cast<size_t>(n));
                        answers += counters[i].frames - before;
                    }
                }
                if (p[i].revents & (POLLHUP | POLLERR)) p[i].fd = -1;
            }
        }
    });

    // Let the crowd get going, then probe.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double burst_ms = -1;
    std::thread burst([&] {
        if (saves <= 0) return;
        std::string bytes;
        for (int k = 0; k < saves; ++k)
            bytes += frame(1, 0, "led clearall") +
                     frame(1, 0, "led p 0 " + std::to_string(k % 64) + " " + std::to_string(k / 64 % 32)) +
                     frame(1, 0, "file save");
        bytes += request(7, "card status");
        const int fd = connect_to(port);
        const auto t0 = Clock::now();
        for (size_t at = 0; at < bytes.size();) {
            const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;
            at += static_cast<size_t>(n);
        }
        Counter c;
        char buf[4096];
        while (c.frames == 0) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            c.feed(buf, static_cast<size_t>(n));
        }
        if (c.frames) burst_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        close(fd);
    });
    const int probe = connect_to(port);
    timeval tick{1, 0};
    setsockopt(probe, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    std::vector<double> ms;
    int lost = 0;
    const long answers_before = answers;
    const auto begun = Clock::now();
    const auto run_end = begun + std::chrono::seconds(60);   // the whole probe run, answered or not
    for (int k = 0; k < probes && Clock::now() < run_end; ++k) {
        const std::string ask = request(1000000 + k, "card status");
        const auto t0 = Clock::now();
        if (send(probe, ask.data(), ask.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(ask.size())) break;
        Counter c;
        char buf[4096];
        while (c.frames == 0 && Clock::now() < run_end) {
            const ssize_t n = recv(probe, buf, sizeof buf, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
            if (n > 0) c.feed(buf, static_cast<size_t>(n));
        }
        if (c.frames == 0) {
            ++lost;
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
    const long crowd_answers = answers - answers_before;
    stop = true;
    crowd.join();
    burst.join();
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
    std::printf("%d clients pipelining \"card status\": %.0f answers/s over %.1f s\n", clients,
                crowd_answers / seconds, seconds);
    std::printf("probe: %zu answers; ms min %.2f median %.2f p99 %.2f max %.2f; %d without an answer when the 60 s run ended\n",
                ms.size(), at(0), at(0.5), at(0.99), ms.empty() ? 0.0 : ms.back(), lost);
    if (saves > 0 && burst_ms >= 0) std::printf("%d \"file save\"s in a burst: answered after %.0f ms\n", saves, burst_ms);
    if (saves > 0 && burst_ms < 0) std::printf("%d \"file save\"s in a burst: no answer\n", saves);
    for (int fd : fds) close(fd);
    return 0;
}
