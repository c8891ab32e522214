// Our card library over TCP (see csdk.h and docs/card-protocol.md).
#include "csdk/csdk.h"

#include "csdk/card_frame.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int max_clients = 128;   // RemotIP and the [Cards] of SysCfg.ini, with room for tests
constexpr int connect_ms = 1000, send_ms = 1000, answer_ms = 1000;
constexpr int first_backoff_ms = 250, max_backoff_ms = 4000;

struct Client {
    std::mutex lock;
    bool used = false;
    sockaddr_in address{};
    char address_text[80] = {};
    int fd = -1;
    Clock::time_point next_try{};
    int backoff_ms = 0;
    int32_t request_tag = 0;
    char error[160] = {};
};

Client clients[max_clients];
std::mutex table_lock;

Client* client_of(int32_t handle) {
    if (handle < 1 || handle > max_clients) return nullptr;
    Client* c = &clients[handle - 1];
    std::lock_guard<std::mutex> g(table_lock);
    return c->used ? c : nullptr;
}

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Closes the connection after a failure and starts (or doubles) the wait
// before the next try. Returns code.
int32_t fail(Client& c, int32_t code, const char* what) {
    if (c.fd >= 0) close(c.fd);
    c.fd = -1;
    c.backoff_ms = c.backoff_ms ? std::min(c.backoff_ms * 2, max_backoff_ms) : first_backoff_ms;
    c.next_try = Clock::now() + std::chrono::milliseconds(c.backoff_ms);
    std::snprintf(c.error, sizeof c.error, "%s", what);
    return code;
}

int32_t fail_errno(Client& c, int32_t code, const char* prefix, int e) {
    char text[160];
    std::snprintf(text, sizeof text, "%s%s", prefix, std::strerror(e));
    // "connection refused", as the rest of a sentence.
    if (text[0] >= 'A' && text[0] <= 'Z' && (text[1] < 'A' || text[1] > 'Z')) text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return fail(c, code, text);
}

// A connection the card closed while nothing was under way (an idle one
// it timed out) is put aside without a failure: the next call connects
// anew. Bytes waiting on it (a late answer) keep it.
void forget_if_closed(Client& c) {
    if (c.fd < 0) return;
    pollfd p{c.fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return;
    char probe;
    const ssize_t k = recv(c.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (k == 0 || (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        close(c.fd);
        c.fd = -1;
    }
}

int32_t connect_client(Client& c) {
    if (c.fd >= 0) return CSDK_OK;
    if (Clock::now() < c.next_try) return CSDK_E_BACKOFF;   // the last error stays
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail_errno(c, CSDK_E_CONNECT, "", errno);
    c.fd = fd;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&c.address), sizeof c.address) != 0) {
        if (errno != EINPROGRESS) return fail_errno(c, CSDK_E_CONNECT, "", errno);
        pollfd p{fd, POLLOUT, 0};
        const int n = poll(&p, 1, connect_ms);
        if (n == 0) return fail(c, CSDK_E_CONNECT, "no connection within 1000 ms");
        int err = 0;
        socklen_t len = sizeof err;
        if (n < 0) err = errno;
        else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err) return fail_errno(c, CSDK_E_CONNECT, "", err);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return CSDK_OK;
}

// Writes all n bytes within send_ms.
int32_t send_all(Client& c, const uint8_t* data, size_t n) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(send_ms);
    while (n > 0) {
        const ssize_t k = send(c.fd, data, n, MSG_NOSIGNAL);
        if (k > 0) {
            data += k, n -= static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return fail_errno(c, errno == EPIPE || errno == ECONNRESET ? CSDK_E_CLOSED : CSDK_E_CONNECT,
                              "", errno);
        pollfd p{c.fd, POLLOUT, 0};
        const int ms = remaining_ms(deadline);
        if (ms == 0 || poll(&p, 1, ms) == 0) return fail(c, CSDK_E_TIMEOUT, "the card takes no data");
    }
    return CSDK_OK;
}

int32_t send_frame(Client& c, uint8_t kind, int32_t tag, const char* body, size_t n) {
    // One buffer, one send: the card sees the frame whole.
    static thread_local uint8_t frame[frame_head_size + max_frame_body];
    encode_frame_head(kind, tag, n, frame);
    std::memcpy(frame + frame_head_size, body, n);
    return send_all(c, frame, frame_head_size + n);
}

// Reads exactly n bytes before deadline.
int32_t read_all(Client& c, uint8_t* out, size_t n, Clock::time_point deadline) {
    while (n > 0) {
        pollfd p{c.fd, POLLIN, 0};
        const int ms = remaining_ms(deadline);
        const int ready = ms == 0 ? 0 : poll(&p, 1, ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return fail(c, CSDK_E_TIMEOUT, "no answer within 1000 ms");
        const ssize_t k = recv(c.fd, out, n, 0);
        if (k == 0) return fail(c, CSDK_E_CLOSED, "the card closed the connection");
        if (k < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return fail_errno(c, CSDK_E_CLOSED, "", errno);
        }
        out += k, n -= static_cast<size_t>(k);
    }
    return CSDK_OK;
}

bool parse_address(const char* text, int32_t port, sockaddr_in* out, char* shown, size_t cap) {
    char host[64];
    if (!text || std::strlen(text) >= sizeof host) return false;
    std::snprintf(host, sizeof host, "%s", text);
    if (char* colon = std::strchr(host, ':')) {
        *colon = '\0';
        char* end = nullptr;
        const long p = std::strtol(colon + 1, &end, 10);
        if (!*(colon + 1) || *end || p < 1 || p > 65535) return false;
        port = static_cast<int32_t>(p);
    }
    if (port < 1 || port > 65535) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &a.sin_addr) != 1) return false;
    *out = a;
    std::snprintf(shown, cap, "%s:%d", host, static_cast<int>(port));
    return true;
}

}  // namespace

extern "C" {

int32_t InitSdk(int32_t, int32_t) { return CSDK_OK; }

int32_t CreateClient(const char* remote_ip, int32_t port, int32_t, int32_t, int32_t, int32_t) {
    sockaddr_in a;
    char shown[80];
    if (!parse_address(remote_ip, port, &a, shown, sizeof shown)) return 0;
    std::lock_guard<std::mutex> g(table_lock);
    for (int i = 0; i < max_clients; ++i) {
        Client& c = clients[i];
        if (c.used) continue;
        c.used = true;
        c.address = a;
        std::snprintf(c.address_text, sizeof c.address_text, "%s", shown);
        c.fd = -1;
        c.next_try = Clock::time_point{};
        c.backoff_ms = 0;
        c.error[0] = '\0';
        return i + 1;
    }
    return 0;
}

int32_t CARD_Get_Info_Cmd(int32_t client, const char* command, int32_t length, uint8_t* answer,
                          int32_t* received) {
    if (received) *received = 0;
    Client* c = client_of(client);
    if (!c) return CSDK_E_HANDLE;
    std::lock_guard<std::mutex> g(c->lock);
    if (!command || !answer || !received || length < 0 || static_cast<uint32_t>(length) > max_frame_body) {
        std::snprintf(c->error, sizeof c->error, "bad arguments");
        return CSDK_E_ARGUMENT;
    }
    // A request starts whatever the caller does next (a send, a read of
    // the flash): a connection the card closed since is opened again.
    forget_if_closed(*c);
    int32_t r = connect_client(*c);
    if (r != CSDK_OK) return r;
    const int32_t tag = ++c->request_tag;
    if ((r = send_frame(*c, frame_request, tag, command, static_cast<size_t>(length))) != CSDK_OK) return r;
    const auto deadline = Clock::now() + std::chrono::milliseconds(answer_ms);
    for (;;) {
        uint8_t head[frame_head_size];
        if ((r = read_all(*c, head, sizeof head, deadline)) != CSDK_OK) return r;
        Frame_head h;
        if (!decode_frame_head(head, &h) || h.body_size > CSDK_ANSWER_MAX || h.kind != frame_answer)
            return fail(*c, CSDK_E_PROTOCOL, "the card's answer is not one");
        uint8_t body[CSDK_ANSWER_MAX];
        if ((r = read_all(*c, body, h.body_size, deadline)) != CSDK_OK) return r;
        if (h.tag != tag) continue;   // a late answer to an earlier request
        std::memcpy(answer, body, h.body_size);
        *received = static_cast<int32_t>(h.body_size);
        c->backoff_ms = 0;
        c->error[0] = '\0';
        return CSDK_OK;
    }
}

int32_t SCREEN_SendDynamicCmd(int32_t client, int32_t tag, int32_t length, const char* line) {
    Client* c = client_of(client);
    if (!c) return CSDK_E_HANDLE;
    std::lock_guard<std::mutex> g(c->lock);
    if (!line || length < 0 || static_cast<uint32_t>(length) > max_frame_body) {
        std::snprintf(c->error, sizeof c->error, "bad arguments");
        return CSDK_E_ARGUMENT;
    }
    int32_t r = connect_client(*c);
    if (r != CSDK_OK) return r;
    // A card that closed the connection shows it as readable end of file;
    // find out before the line is lost in a dead socket's buffer.
    pollfd p{c->fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0) {
        char probe;
        const ssize_t k = recv(c->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (k == 0) return fail(*c, CSDK_E_CLOSED, "the card closed the connection");
    }
    if ((r = send_frame(*c, frame_line, tag, line, static_cast<size_t>(length))) != CSDK_OK) return r;
    c->backoff_ms = 0;
    c->error[0] = '\0';
    return CSDK_OK;
}

const char* CSDK_LastError(int32_t client) {
    Client* c = client_of(client);
    if (!c) return "no such client";
    // A copy taken under the handle's lock: a call on the handle from
    // another thread may rewrite the error while the caller reads it.
    static thread_local char copy[sizeof Client::error];
    std::lock_guard<std::mutex> g(c->lock);
    std::memcpy(copy, c->error, sizeof copy);
    return copy;
}

const char* CSDK_Address(int32_t client) {
    Client* c = client_of(client);
    return c ? c->address_text : "";
}

void CSDK_Reset(void) {
    std::lock_guard<std::mutex> g(table_lock);
    for (Client& c : clients) {
        std::lock_guard<std::mutex> h(c.lock);
        if (c.fd >= 0) close(c.fd);
        c.used = false;
        c.fd = -1;
        c.backoff_ms = 0;
        c.next_try = Clock::time_point{};
        c.error[0] = '\0';
        c.request_tag = 0;
    }
}

}  // extern "C"
