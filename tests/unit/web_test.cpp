// The card's live page in process: its address option, the PNG it serves
// (the same bytes as --png), its answers over a plain socket, and that it
// never takes a bound port quietly.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "card/screen_feed.h"
#include "render/led_framebuffer.h"
#include "render/led_png.h"
#include "temp_dir.h"
#include "web/live_page.h"

namespace {

// One request on a fresh connection to 127.0.0.1:port; the whole answer.
std::string ask(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string got;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buf[4096];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return got;
}

std::string get(int port, const std::string& path) {
    return ask(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

std::string body(const std::string& answer) {
    const size_t at = answer.find("\r\n\r\n");
    return at == std::string::npos ? "" : answer.substr(at + 4);
}

}  // namespace

TEST(LivePage, AddressOption) {
    std::string addr, err;
    int port = -1;
    ASSERT_TRUE(parse_http_address("127.0.0.1:8080", &addr, &port, &err));
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_EQ(port, 8080);
    ASSERT_TRUE(parse_http_address(":0", &addr, &port, &err));
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_EQ(port, 0);
    ASSERT_TRUE(parse_http_address("9000", &addr, &port, &err));
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_EQ(port, 9000);
    ASSERT_TRUE(parse_http_address("0.0.0.0:80", &addr, &port, &err));
    EXPECT_EQ(addr, "0.0.0.0");
    ASSERT_TRUE(parse_http_address("[::1]:81", &addr, &port, &err));
    EXPECT_EQ(addr, "::1");
    EXPECT_EQ(port, 81);
    for (const char* bad : {"", "127.0.0.1:", "127.0.0.1:65536", "host.example:80", "1.2.3.4:-1", "1.2.3.4:8o",
                            "127.0.0.1:123456"}) {
        err.clear();
        EXPECT_FALSE(parse_http_address(bad, &addr, &port, &err)) << bad;
        EXPECT_EQ(err.rfind("web: ", 0), 0u) << bad << ": " << err;
    }
}

TEST(LivePage, ServesTheScreenAsTheCardsPngAndItsFacts) {
    Temp_dir dir;
    Led_framebuffer screen(40, 12);
    screen.light(0, 0, 0);
    screen.light(1, 39, 11);
    screen.light(2, 20, 6);
    Screen_feed feed;
    feed.publish(screen, 3, 77, 2, 1234);
    Live_page page;
    std::string err;
    Live_page_options o;
    ASSERT_TRUE(page.start(o, &feed, &err)) << err;
    ASSERT_GT(page.port(), 0);

    const std::string path = dir.path() + "/screen.png";
    ASSERT_TRUE(write_led_png(screen, path.c_str(), &err)) << err;
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(encode_led_png(screen, &encoded, &err)) << err;
    EXPECT_EQ(std::string(encoded.begin(), encoded.end()), file);

    const std::string png = get(page.port(), "/screen.png");
    EXPECT_EQ(png.rfind("HTTP/1.1 200", 0), 0u) << png.substr(0, 60);
    EXPECT_NE(png.find("Cache-Control: no-store"), std::string::npos);
    EXPECT_EQ(body(png), file);

    const std::string state = body(get(page.port(), "/state.json"));
    for (const char* want : {"\"width\":40", "\"height\":12", "\"brightness\":3", "\"lines_run\":77",
                             "\"connections\":2", "\"last_save_ms\":1234", "\"viewers\":0", "\"max_viewers\":16"})
        EXPECT_NE(state.find(want), std::string::npos) << want << " in " << state;

    const std::string page_html = get(page.port(), "/");
    EXPECT_NE(page_html.find("Content-Security-Policy: default-src 'self'; connect-src 'self'"), std::string::npos);
    EXPECT_NE(page_html.find("<script src=\"/app.js\""), std::string::npos);
    EXPECT_EQ(page_html.find("<script>"), std::string::npos);
    // HEAD: the headers alone.
    EXPECT_EQ(body(ask(page.port(), "HEAD /app.js HTTP/1.1\r\nHost: x\r\n\r\n")), "");
    for (const char* path_ : {"/nope", "/../state.json", "/%2e%2e/", "/state.json%00", "/%73tate.json", "/screen.png/"}) {
        const std::string got = get(page.port(), path_);
        EXPECT_EQ(got.rfind("HTTP/1.1 4", 0), 0u) << path_ << ": " << got.substr(0, 40);
    }
    EXPECT_EQ(ask(page.port(), "POST /state.json HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n").rfind("HTTP/1.1 405", 0),
              0u);
    page.stop();
}

TEST(LivePage, RefusesAPortInUse) {
    Screen_feed feed;
    Live_page first, second;
    std::string err;
    Live_page_options o;
    ASSERT_TRUE(first.start(o, &feed, &err)) << err;
    o.port = first.port();
    EXPECT_FALSE(second.start(o, &feed, &err));
    EXPECT_EQ(err.rfind("web: ", 0), 0u) << err;
}
