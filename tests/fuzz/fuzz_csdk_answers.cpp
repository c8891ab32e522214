// libFuzzer target: any bytes as what a card sends back. A peer in this
// process listens on 127.0.0.1; on each connection it reads the client's
// frames and answers the first request with the input, raw (so broken
// frames, several frames, or a frame cut short), then closes the
// connection, so no call waits for a time-out. On a handle made afresh per
// input the client (csdk) asks twice, then sends a line.
//
// Checked beyond "no crash": *received never exceeds CSDK_ANSWER_MAX, is
// 0 after a failure, and nothing is written past it; a request's outcome
// is the one the bytes call for: the body of the first answer frame of the
// request's tag, answers of other tags before it skipped; a protocol
// error at the first head that is out of range, of another kind or too
// long; "closed" when the bytes end before such a frame does.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "csdk/csdk.h"

namespace {

// What the peer answers with: the current input.
std::mutex answer_lock;
std::string answer_bytes;

int listener = -1;
int port = 0;

uint32_t big_endian(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Reads exactly n bytes within about a second; false on end, error or time-out.
bool read_exactly(int fd, uint8_t* out, size_t n) {
    while (n > 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return false;
        const ssize_t k = recv(fd, out, n, 0);
        if (k <= 0) return false;
        out += k, n -= static_cast<size_t>(k);
    }
    return true;
}

// One connection: frames are read until a request comes (lines are taken
// without an answer), which gets the input; then the connection closes.
void serve(int fd) {
    for (;;) {
        uint8_t head[9];
        if (!read_exactly(fd, head, sizeof head)) break;
        const uint32_t length = big_endian(head);
        if (length < 5 || length > 5 + 65536) break;
        std::string body(length - 5, '\0');
        if (!read_exactly(fd, reinterpret_cast<uint8_t*>(body.data()), body.size())) break;
        if (head[4] != 2) continue;   // a line: no answer
        std::string out;
        {
            std::lock_guard<std::mutex> g(answer_lock);
            out = answer_bytes;
        }
        for (size_t at = 0; at < out.size();) {
            const ssize_t k = send(fd, out.data() + at, out.size() - at, MSG_NOSIGNAL);
            if (k <= 0) break;
            at += static_cast<size_t>(k);
        }
        break;
    }
    // Nothing of the client's is left unread when it waits for an answer,
    // so the close is a plain end of stream, never a reset that could
    // throw away the bytes just sent.
    shutdown(fd, SHUT_WR);
    close(fd);
}

void peer() {
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        serve(fd);
    }
}

void start_peer() {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::perror("fuzz_csdk_answers: listener");
        std::abort();
    }
    port = ntohs(a.sin_port);
    std::thread(peer).detach();
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_csdk_answers: %s\n", what);
    std::abort();
}

// What a client that sent a request of tag `tag` makes of bytes: its code
// and, on success, the answer and where its frame ends.
int32_t expected_outcome(const uint8_t* data, size_t size, int32_t tag, std::string* answer, size_t* end) {
    for (size_t at = 0;;) {
        if (size - at < 9) return CSDK_E_CLOSED;
        const uint32_t length = big_endian(data + at);
        const uint8_t kind = data[at + 4];
        const int32_t frame_tag = static_cast<int32_t>(big_endian(data + at + 5));
        if (length < 5 || length > 5 + 65536 || length - 5 > CSDK_ANSWER_MAX || kind != 3) return CSDK_E_PROTOCOL;
        const size_t body = length - 5;
        if (size - at - 9 < body) return CSDK_E_CLOSED;
        if (frame_tag == tag) {
            answer->assign(reinterpret_cast<const char*>(data + at + 9), body);
            *end = at + 9 + body;
            return CSDK_OK;
        }
        at += 9 + body;
    }
}

void check_received(int32_t r, int32_t received) {
    if (received < 0 || received > CSDK_ANSWER_MAX) fail("received is out of range");
    if (r != CSDK_OK && received != 0) fail("received is not 0 after a failure");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        start_peer();
        InitSdk(0, 0);
        return true;
    }();
    (void)ready;
    {
        std::lock_guard<std::mutex> g(answer_lock);
        answer_bytes.assign(reinterpret_cast<const char*>(data), size);
    }
    // A fresh handle: its first request has tag 1, and no back-off.
    CSDK_Reset();
    const int32_t client = CreateClient("127.0.0.1", port, 0, 0, 0, 0);
    if (client <= 0) fail("no handle for the peer");

    static const char request[] = "card status";
    static uint8_t answer[CSDK_ANSWER_MAX + 64];
    std::string want;
    size_t end = 0;

    // The first request: the bytes decide.
    int32_t received = -1;
    std::memset(answer, 0xA5, sizeof answer);
    int32_t r = CARD_Get_Info_Cmd(client, request, sizeof request - 1, answer, &received);
    check_received(r, received);
    const int32_t expected = expected_outcome(data, size, 1, &want, &end);
    if (r != expected) {
        std::fprintf(stderr, "fuzz_csdk_answers: got %d (%s), expected %d\n", static_cast<int>(r),
                     CSDK_LastError(client), static_cast<int>(expected));
        fail("the first request's outcome is not what the bytes call for");
    }
    if (r == CSDK_OK &&
        (static_cast<size_t>(received) != want.size() || std::memcmp(answer, want.data(), want.size()) != 0))
        fail("the answer is not the body of the request's frame");
    for (size_t i = static_cast<size_t>(received); i < sizeof answer; ++i)
        if (answer[i] != 0xA5) fail("bytes written past the answer");
    if (std::strlen(CSDK_LastError(client)) >= 160) fail("the last error is too long");

    // The second request (tag 2). After a failure the handle waits, and
    // nothing is checked but the numbers. After a success, bytes left over
    // from the first answer are read on the same connection; when none
    // are, the closed connection is put aside and a new one gets the input
    // again. Either way the peer's close may be seen first: "closed".
    const bool first_ok = r == CSDK_OK;
    received = -1;
    std::memset(answer, 0xA5, sizeof answer);
    r = CARD_Get_Info_Cmd(client, request, sizeof request - 1, answer, &received);
    check_received(r, received);
    if (first_ok && r != CSDK_E_CLOSED) {
        const uint8_t* rest = end < size ? data + end : data;
        const size_t rest_size = end < size ? size - end : size;
        const int32_t expected2 = expected_outcome(rest, rest_size, 2, &want, &end);
        if (r != expected2) {
            std::fprintf(stderr, "fuzz_csdk_answers: got %d (%s), expected %d (or %d: closed)\n",
                         static_cast<int>(r), CSDK_LastError(client), static_cast<int>(expected2), CSDK_E_CLOSED);
            fail("the second request's outcome is not what the bytes call for");
        }
        if (r == CSDK_OK &&
            (static_cast<size_t>(received) != want.size() || std::memcmp(answer, want.data(), want.size()) != 0))
            fail("the second answer is not the body of the request's frame");
    }
    for (size_t i = static_cast<size_t>(received); i < sizeof answer; ++i)
        if (answer[i] != 0xA5) fail("bytes written past the second answer");

    // A line on what is left: the closed connection is found out, or the
    // line goes into it, or the handle waits after a failure.
    static const char line[] = "led clear";
    r = SCREEN_SendDynamicCmd(client, 7, sizeof line - 1, line);
    if (r > 0 || r < CSDK_E_PROTOCOL) fail("a line gives an unknown code");
    return 0;
}
