// The way to the card over the network: the live lines, our card library
// against the simulator (in this process, on 127.0.0.1), the start-up sync
// and what happens when the card is absent, silent or drops out.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/config.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "card/card_sim.h"
#include "command/commands.h"
#include "command/flash_image.h"
#include "command/replay.h"
#include "controller/live_send.h"
#include "csdk/card_frame.h"
#include "csdk/csdk.h"
#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "scene/pools.h"
#include "scene/status_line.h"
#include "scene/view_state.h"
#include "running_card.h"
#include "temp_dir.h"
#include "ui/menus.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

std::string gbk(const char* utf8) {
    char out[512];
    platform_utf8_to_gbk(utf8, out, sizeof out);
    return out;
}

// The frame format both ends use: frames fed a byte at a time come out
// whole and in order; a length out of range or an unknown kind ends the
// stream.
TEST(Card_frames, ComeOutWholeFromAnyPiecesAndRefuseWhatIsNoFrame) {
    const std::string stream = encode_frame({frame_line, 7, "led clearall"}) +
                               encode_frame({frame_request, -2, ""}) +
                               encode_frame({frame_answer, 40000, std::string(300, 'x')});
    ASSERT_EQ(stream.size(), 3 * frame_head_size + 12 + 300);
    EXPECT_EQ(stream.substr(0, frame_head_size), std::string("\0\0\0\x11\x01\0\0\0\x07", frame_head_size));
    Frame_reader reader;
    std::vector<Card_frame> got;
    Card_frame f;
    for (char c : stream) {
        const uint8_t byte = static_cast<uint8_t>(c);
        reader.feed(&byte, 1);
        Frame_reader::Status s;
        while ((s = reader.next(&f)) == Frame_reader::Status::frame) got.push_back(f);
        ASSERT_EQ(s, Frame_reader::Status::need_more);
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].kind, frame_line);
    EXPECT_EQ(got[0].tag, 7);
    EXPECT_EQ(got[0].body, "led clearall");
    EXPECT_EQ(got[1].kind, frame_request);
    EXPECT_EQ(got[1].tag, -2);
    EXPECT_EQ(got[1].body, "");
    EXPECT_EQ(got[2].tag, 40000);
    EXPECT_EQ(got[2].body, std::string(300, 'x'));

    // The longest body passes; one byte more, a kind 4 or a length under 5
    // cannot start a frame.
    Frame_head head;
    uint8_t bytes[frame_head_size];
    encode_frame_head(frame_answer, 1, max_frame_body, bytes);
    ASSERT_TRUE(decode_frame_head(bytes, &head));
    EXPECT_EQ(head.body_size, max_frame_body);
    encode_frame_head(frame_answer, 1, max_frame_body + 1, bytes);
    EXPECT_FALSE(decode_frame_head(bytes, &head));
    encode_frame_head(4, 1, 0, bytes);
    EXPECT_FALSE(decode_frame_head(bytes, &head));
    const uint8_t short_length[frame_head_size] = {0, 0, 0, 4, frame_line, 0, 0, 0, 0};
    EXPECT_FALSE(decode_frame_head(short_length, &head));
    Frame_reader bad;
    bad.feed(short_length, sizeof short_length);
    EXPECT_EQ(bad.next(&f), Frame_reader::Status::bad);
}

class Card_link_test : public ::testing::Test {
protected:
    void SetUp() override {
        set_bitmap_fonts_below(VANTIRO_FONT_DIR);
        build_layout(scene);
        std::snprintf(exe_folder, sizeof exe_folder, "%s/", dir.path().c_str());
        std::snprintf(scene_folder, sizeof scene_folder, "%s/", dir.path().c_str());
        std::string err;
        ASSERT_TRUE(build_data_paths(exe_folder, &data_paths, &err)) << err;
        set_flash_image_path(data_paths.spi_data);
        set_diag_stream(std::fopen("/dev/null", "w"));
    }
    void TearDown() override { reset_card_link(); }

    // Sends the scene to the card at address and waits until it is done.
    bool send_to(const std::string& address) {
        std::snprintf(remote_ip, sizeof remote_ip, "%s", address.c_str());
        controller_client = CreateClient(remote_ip, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
        live_pacing = 0;
        send_scene_live(scene);
        EXPECT_TRUE(wait_live_idle(10000));
        return last_live_send_ok();
    }

    Temp_dir dir;
};

std::string joined(const std::vector<Live_line>& lines) {
    std::string s;
    for (const Live_line& l : lines)
        s += std::to_string(l.tag) + "/" + std::to_string(l.wait_ms) + ":" + l.bytes + "|";
    return s;
}

}  // namespace

// Live lines of a scene with one element of each kind: an element on the
// board's edge is sent, rectangles are measured like every other element,
// the circle's centre is not halved, a block has side height, a text with
// a blank is sent as two runs, text 3 as the first line of its file and a
// digit module not at all; tags and waits as the card expects.
TEST_F(Card_link_test, LiveLinesCarryTheSceneWithTagsAndWaits) {
    EXPECT_EQ(joined(live_scene_lines(scene, true, scene_text_files())), "42405/0:led clearall \n|");
    string_draw& t = scene.string_draws[6];
    t.x = 296, t.y = 236, t.font_size = 16, t.colour = 1, t.text_source = 0;
    std::snprintf(t.text, sizeof t.text, "Hello");
    string_draw& edge = scene.string_draws[7];
    edge.x = 276, edge.y = 226, edge.font_size = 12, edge.colour = 2, edge.text_source = 3;
    std::snprintf(edge.text, sizeof edge.text, "not sent");
    dir.write("my_txt3.txt", "ab cd\r\nsecond line");
    refresh_text_files();
    Digit_unit& module = scene.digit_at(0, 20);
    module.kind = kind_digit, module.x = 400, module.y = 300, module.digits = 2, module.enabled = 1;
    Digit_unit& r = scene.digit_at(1, 1);
    r.kind = kind_rect, r.x = 280, r.y = 232, r.width = 10, r.height = 5, r.colour = 0, r.id = 11;
    Digit_unit& c = scene.digit_at(2, 40);
    c.kind = kind_circle, c.x = 300, c.y = 250, c.height = 7, c.colour = 1, c.type_code = 9;
    Digit_unit& b = scene.digit_at(2, 41);
    b.kind = kind_block, b.x = 276 + 20, b.y = 226 + 40, b.height = 2, b.colour = 2, b.type_code = 5;
    Digit_unit& l = scene.digit_at(2, 42);
    l.kind = kind_hline, l.x = 276, l.y = 300, l.width = 30, l.colour = 0, l.type_code = 6;
    EXPECT_EQ(joined(live_scene_lines(scene, true, scene_text_files())),
              "42405/0:led clearall \n|"
              "11/10:led r 0 2 3 12 8 \n |"
              "9/100:led c 1 12 12 7 \n |"
              "5/1000:led p 2 10 20 \n |5/1000:led p 2 10 21 \n |5/1000:led p 2 11 20 \n |5/1000:led p 2 11 21 \n |"
              "6/1000:led l 0 0 37 30 37 \n |"
              "0/10:led 16t 1 10 5 Hello \n |"
              "3/10:led 12t 2 0 0 ab \n |3/10:led 12t 2 18 0 cd \n |");
    // Without pacing the same lines, no waits; with no board in use, the clear line alone.
    for (const Live_line& line : live_scene_lines(scene, false, scene_text_files())) EXPECT_EQ(line.wait_ms, 0);
    scene.board_rows = 0;
    EXPECT_EQ(live_scene_lines(scene, true, scene_text_files()).size(), 1u);
}

// Live to the simulator: the card's screen equals the editor's picture;
// "file save" stores the scene in the card's flash; a start with sync on
// brings its texts (blanks included) and rectangles back, and a second one
// adds nothing.
TEST_F(Card_link_test, TheCardShowsTheLiveSceneAndGivesItBackAtStartUp) {
    Running_card card(dir.path() + "/flash.bin");
    ASSERT_TRUE(card.listening);
    string_draw& t = scene.string_draws[6];
    t.x = 276 + 2 * 5, t.y = 226 + 2 * 7, t.font_size = 16, t.colour = 1;
    std::snprintf(t.text, sizeof t.text, "%s", gbk("早上 好 A  b").c_str());
    Digit_unit& r = scene.digit_at(1, 1);
    r.kind = kind_rect, r.x = 276 + 2 * 3, r.y = 226 + 2 * 40, r.width = 60, r.height = 20, r.colour = 2, r.id = 11;
    Digit_unit& d = scene.digit_at(3, 7);
    d.kind = kind_digit, d.x = 276 + 2 * 100, d.y = 226 + 2 * 60, d.digits = 4, d.param_a = 12, d.param_b = 2;
    d.colour = 0, d.type_code = 13;

    ASSERT_TRUE(send_to(card.address()));
    std::string status;
    bool to_stderr = false;
    ASSERT_TRUE(take_live_status(&status, &to_stderr));
    EXPECT_EQ(status, "sent " + std::to_string(live_scene_lines(scene, false, scene_text_files()).size()) + " lines to " + card.address());
    // The editor shows the digit module too; it reaches the card by the stick only.
    Led_framebuffer editor(256, 128);
    render_scene_leds(scene, editor);
    const long with_module = editor.lit_count();
    d.enabled = 0;
    render_scene_leds(scene, editor);
    d.enabled = 1;
    EXPECT_GT(with_module, editor.lit_count());
    EXPECT_GT(editor.lit_count(), 150);
    // The simulator's thread runs the lines it has read; ask it how many.
    const long expected = static_cast<long>(live_scene_lines(scene, false, scene_text_files()).size());
    uint8_t answer[CSDK_ANSWER_MAX];
    int32_t n = 0;
    for (int tries = 0; tries < 200; ++tries) {
        ASSERT_EQ(CARD_Get_Info_Cmd(controller_client, "card status", 11, answer, &n), CSDK_OK);
        if (std::string(reinterpret_cast<char*>(answer), static_cast<size_t>(n)) ==
            std::to_string(expected) + " lines run")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(std::string(reinterpret_cast<char*>(answer), static_cast<size_t>(n)), std::to_string(expected) + " lines run");
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) ASSERT_EQ(card.sim.card.screen.at(x, y), editor.at(x, y)) << x << "," << y;

    ASSERT_EQ(SCREEN_SendDynamicCmd(controller_client, 0, 10, "file save "), CSDK_OK);
    reset_card_link();

    // A fresh editor (no scene files) with sync on.
    const std::string text = t.text;
    const uint32_t tx = t.x, ty = t.y, rx = r.x;
    reset_scene(scene);
    build_layout(scene);
    sync_enabled = 1;
    std::snprintf(remote_ip, sizeof remote_ip, "%s", card.address().c_str());
    sync_from_card(scene);
    std::string image;
    {
        std::vector<uint8_t> bytes;
        std::string err;
        ASSERT_TRUE(platform_read_file(data_paths.spi_data, 1 << 20, &bytes, &err)) << err;
        ASSERT_EQ(bytes.size(), flash_window_end);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + flash_window_start),
                  std::vector<uint8_t>(flash_window_start, 0));
    }
    ASSERT_EQ(scene.texts_made, 1);   // in the first free record, 5
    EXPECT_EQ(scene.string_draws[5].text, text);
    EXPECT_EQ(scene.string_draws[5].x, tx);
    EXPECT_EQ(scene.string_draws[5].y, ty);
    EXPECT_EQ(scene.rect_count, 1);
    const Digit_unit& back = scene.digit_at(1, 1);
    EXPECT_EQ(back.kind, kind_rect);
    EXPECT_EQ(back.x, rx);
    EXPECT_EQ(back.width, 60);
    reset_card_link();
    const int32_t made = scene.texts_made;
    sync_from_card(scene);   // the next start: nothing is added
    EXPECT_EQ(scene.texts_made, made);
    EXPECT_EQ(scene.rect_count, 1);

    // A start where the operator edits while the card's scene is read: the
    // card's text, moved meanwhile, is not added again, and a text typed
    // meanwhile stays.
    reset_card_link();
    start_sync_from_card(scene);
    ASSERT_TRUE(sync_in_progress());
    scene.string_draws[5].x = tx + 2 * 10;
    ASSERT_TRUE(add_text_element(scene, 0, 16, 2, 30, 40, "new", 3));   // record 6
    bool finished = false;
    for (int tries = 0; tries < 1000 && !finished; ++tries) {
        finished = finish_sync_from_card(scene);
        if (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(scene.texts_made, made + 1);   // the typed text only
    EXPECT_EQ(scene.string_draws[5].x, tx + 2 * 10);
    EXPECT_STREQ(scene.string_draws[6].text, "new");
    EXPECT_EQ(scene.rect_count, 1);
}

// A closed port, a card that never answers, a card that drops after 10
// lines: the sync keeps spi_data.bin and replays nothing, the send says it
// failed (never "sent"), and once the card is back the next send goes
// through.
TEST_F(Card_link_test, AnAbsentSilentOrDroppingCardIsSaidAndSurvived) {
    const std::string kept = "the previous image";
    dir.write("spi_data.bin", kept);
    auto spi = [&] {
        std::vector<uint8_t> bytes;
        std::string err;
        platform_read_file(data_paths.spi_data, 1 << 20, &bytes, &err);
        return std::string(bytes.begin(), bytes.end());
    };
    int free_port;
    {
        Running_card probe("");   // a port that is free once it closes
        free_port = probe.sim.port();
    }
    for (int kind = 0; kind < 2; ++kind) {
        std::unique_ptr<Running_card> silent;
        if (kind == 1) silent = std::make_unique<Running_card>("", Card_faults{-1, true, 0});
        const std::string address = kind == 0 ? "127.0.0.1:" + std::to_string(free_port) : silent->address();
        std::snprintf(remote_ip, sizeof remote_ip, "%s", address.c_str());
        sync_from_card(scene);
        EXPECT_EQ(spi(), kept) << address;
        char said[512];
        platform_gbk_to_utf8(status_text, said, sizeof said);
        EXPECT_NE(std::string(said).find("flash read stopped at 0x10000"), std::string::npos) << said;
        EXPECT_NE(std::string(said).find(kind == 0 ? "connection refused" : "no answer within 1000 ms"),
                  std::string::npos) << said;
        reset_card_link();
    }

    // A card that drops the connection after 10 lines.
    for (int k = 0; k < 30; ++k) {
        Digit_unit& d = scene.digit_at(2, 40 + k);
        d.kind = kind_vline, d.x = 276 + 2 * k, d.y = 226, d.height = 5, d.colour = 1;
    }
    auto dropping = std::make_unique<Running_card>("", Card_faults{10, false, 0});
    const int port = dropping->sim.port();
    EXPECT_FALSE(send_to(dropping->address()));
    std::string status;
    bool to_stderr = false;
    ASSERT_TRUE(take_live_status(&status, &to_stderr));
    EXPECT_TRUE(to_stderr);
    EXPECT_NE(status.find("card 127.0.0.1:" + std::to_string(port) + " not reachable"), std::string::npos) << status;
    EXPECT_EQ(status.find("sent 31"), std::string::npos);
    dropping.reset();
    Running_card back("", {}, port);
    ASSERT_TRUE(back.listening);
    bool through = false;
    for (int tries = 0; tries < 40 && !through; ++tries) {
        submit_live_lines(live_scene_lines(scene, false, scene_text_files()));
        ASSERT_TRUE(wait_live_idle(5000));
        through = last_live_send_ok();
        if (!through) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_TRUE(through);
}

// The last error is the calling thread's copy: a later call on the handle
// (here a success that clears the error) leaves the text already read as it
// was, and another thread gets a copy of its own.
TEST_F(Card_link_test, TheLastErrorIsACopyThatLaterCallsLeaveAlone) {
    Running_card card("");
    ASSERT_TRUE(card.listening);
    const int32_t h = CreateClient(card.address().c_str(), CSDK_DEFAULT_PORT, 254, 0, 0, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(SCREEN_SendDynamicCmd(h, 1, 3, nullptr), CSDK_E_ARGUMENT);
    const char* before = CSDK_LastError(h);
    EXPECT_STREQ(before, "bad arguments");
    EXPECT_EQ(SCREEN_SendDynamicCmd(h, 2, 12, "led clearall"), CSDK_OK);
    EXPECT_STREQ(before, "bad arguments");
    std::string other_thread;
    std::thread([&] { other_thread = CSDK_LastError(h); }).join();
    EXPECT_EQ(other_thread, "");
    EXPECT_STREQ(before, "bad arguments");
    EXPECT_STREQ(CSDK_LastError(h), "");
    EXPECT_STREQ(CSDK_LastError(0), "no such client");
}

// Handle 0 sends nothing and says so; a bad address makes no handle.
// A scene with a digit module on the board: the live send says once, not
// at every send, that modules go by the stick.
TEST_F(Card_link_test, DigitModulesOffTheLiveSendAreSaidOnce) {
    Digit_unit& d = scene.digit_at(3, 7);
    d.kind = kind_digit, d.x = 300, d.y = 300, d.digits = 2, d.enabled = 1;
    int port;
    {
        Running_card probe("");   // a port that is free once it closes
        port = probe.sim.port();
    }
    testing::internal::CaptureStderr();
    for (int k = 0; k < 3; ++k) send_to("127.0.0.1:" + std::to_string(port));
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string note = "card: digit modules are not sent live";
    EXPECT_NE(said.find(note), std::string::npos) << said;
    EXPECT_EQ(said.find(note), said.rfind(note)) << said;
}

TEST_F(Card_link_test, NoCardNoHandle) {
    EXPECT_EQ(SCREEN_SendDynamicCmd(0, 1, 3, "abc"), CSDK_E_HANDLE);
    int32_t n = 7;
    uint8_t answer[CSDK_ANSWER_MAX];
    EXPECT_EQ(CARD_Get_Info_Cmd(0, "x", 1, answer, &n), CSDK_E_HANDLE);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(CreateClient("Error", 1002, 254, 0, 0, 0), 0);
    EXPECT_EQ(CreateClient("127.0.0.1:99999", 1002, 254, 0, 0, 0), 0);
    send_scene_live(scene);   // sync off: said once
    char said[512];
    platform_gbk_to_utf8(status_text, said, sizeof said);
    EXPECT_NE(std::string(said).find("Syc_Enable=0"), std::string::npos);

    // Sync on with an address that is none: the live send names it (on
    // standard error: the failure at start-up stays on the line).
    reset_card_link();
    std::snprintf(remote_ip, sizeof remote_ip, "%s", "card.local");
    sync_from_card(scene);
    testing::internal::CaptureStderr();
    send_scene_live(scene);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "card: not sent live (RemotIP card.local in SysCfg.ini is not an address)\n");
    platform_gbk_to_utf8(status_text, said, sizeof said);
    EXPECT_EQ(std::string(said), "card: RemotIP card.local in SysCfg.ini is not an address; the card's scene is not read");
}

namespace {

// A client socket on 127.0.0.1:port with a receive buffer of rcvbuf bytes,
// connected, then made non-blocking; -1 when that fails.
int small_client(int port, int rcvbuf) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends what the socket takes of bytes from *at on; false once the peer
// has closed the connection.
bool send_some(int fd, const std::string& bytes, size_t* at) {
    while (*at < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + *at, bytes.size() - *at, MSG_NOSIGNAL);
        if (n > 0) {
            *at += static_cast<size_t>(n);
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        }
    }
    return true;
}

}  // namespace

// A client that asks for many flash blocks and reads its answers a little
// at a time (with small socket buffers at both ends, so the card's sends
// come up short) gets every answer whole and in order. A client that keeps
// asking and never reads is dropped once its unread answers pass the
// card's bound, and the card goes on serving others.
TEST(Card_simulator_network, ASlowReaderGetsEveryAnswerWholeAndANonReaderIsDropped) {
    Card_faults faults;
    faults.send_buffer = 4096;
    Card_simulator sim(64, 32, "", faults, nullptr);
    std::string err;
    ASSERT_TRUE(sim.listen_on("127.0.0.1", 0, &err)) << err;
    for (size_t i = 0; i < sim.flash.size(); ++i) sim.flash[i] = static_cast<uint8_t>(i * 7 % 251);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto in_time = [&] { return std::chrono::steady_clock::now() < deadline; };

    // 200 requests of 1024 bytes each: about 200 KiB of answers, far more
    // than both sockets' buffers hold.
    const int slow = small_client(sim.port(), 4096);
    ASSERT_GE(slow, 0) << std::strerror(errno);
    constexpr int asks = 200;
    constexpr size_t block = 1024;
    std::string requests;
    std::vector<uint32_t> addresses;
    for (int k = 0; k < asks; ++k) {
        addresses.push_back(static_cast<uint32_t>(k) * 4099u % static_cast<uint32_t>(sim.flash.size() - block));
        requests += encode_frame({frame_request, 5000 + k, "file read_raw " + std::to_string(addresses.back()) + " " +
                                                               std::to_string(block)});
    }
    const size_t expected = asks * (frame_head_size + block);
    std::string got;
    size_t sent = 0;
    while (got.size() < expected && in_time()) {
        ASSERT_TRUE(send_some(slow, requests, &sent)) << "the card closed the slow client";
        sim.poll_once(1);
        uint8_t buf[256];   // a slow reader: a little at each turn
        const ssize_t n = recv(slow, buf, sizeof buf, 0);
        if (n > 0) got.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
        ASSERT_TRUE(n > 0 || (n < 0 && errno == EAGAIN)) << "the connection ended after " << got.size() << " bytes";
    }
    EXPECT_EQ(sent, requests.size());
    ASSERT_EQ(got.size(), expected) << "answers missing or cut";
    Frame_reader reader;
    reader.feed(reinterpret_cast<const uint8_t*>(got.data()), got.size());
    for (int k = 0; k < asks; ++k) {
        Card_frame f;
        ASSERT_EQ(reader.next(&f), Frame_reader::Status::frame) << "answer " << k;
        EXPECT_EQ(f.kind, frame_answer);
        ASSERT_EQ(f.tag, 5000 + k) << "answers out of order or torn";
        ASSERT_EQ(f.body, std::string(sim.flash.begin() + addresses[static_cast<size_t>(k)],
                                      sim.flash.begin() + addresses[static_cast<size_t>(k)] + block))
            << "answer " << k;
    }
    EXPECT_EQ(sim.dropped_unread, 0);
    close(slow);

    // A client that never reads: dropped once 64 KiB of its answers wait
    // unread, long before its 2000 requests (2 MiB of answers) are answered.
    sim.max_unsent = 64 << 10;
    const int deaf = small_client(sim.port(), 4096);
    ASSERT_GE(deaf, 0) << std::strerror(errno);
    std::string flood;
    for (int k = 0; k < 2000; ++k) flood += encode_frame({frame_request, k, "file read_raw 0 1024"});
    sent = 0;
    while (sim.dropped_unread == 0 && in_time()) {
        ASSERT_TRUE(send_some(deaf, flood, &sent)) << "closed before the card said so";
        sim.poll_once(1);
    }
    EXPECT_EQ(sim.dropped_unread, 1);
    // Its socket sees the end of the connection (after what was sent).
    bool ended = false;
    while (!ended && in_time()) {
        char buf[4096];
        const ssize_t n = recv(deaf, buf, sizeof buf, 0);
        ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        sim.poll_once(1);
    }
    EXPECT_TRUE(ended);
    close(deaf);

    // The card still answers a new client.
    const int next = small_client(sim.port(), 4096);
    ASSERT_GE(next, 0);
    const std::string status = encode_frame({frame_request, 9, "card status"});
    size_t at = 0;
    std::string answer;
    while (answer.size() < frame_head_size + 11 && in_time()) {
        ASSERT_TRUE(send_some(next, status, &at));
        sim.poll_once(1);
        char buf[256];
        const ssize_t n = recv(next, buf, sizeof buf, 0);
        if (n > 0) answer.append(buf, static_cast<size_t>(n));
    }
    Frame_reader last;
    last.feed(reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
    Card_frame f;
    ASSERT_EQ(last.next(&f), Frame_reader::Status::frame);
    EXPECT_EQ(f.tag, 9);
    EXPECT_EQ(f.body, "0 lines run");
    close(next);
}

namespace {

// The simulator program's status after a signal sent the moment it says it
// is listening, then SIGTERM: its exit status (0 for a clean stop), or
// -signal when a signal ended it.
int status_after_signal_at_start(int signal_number, const std::string& flash) {
    int out[2];
    if (pipe(out) != 0) return -1000;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(VANTIRO_CARD, VANTIRO_CARD, "--port", "0", "--flash", flash.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string said;
    char c;
    while (said.find("listening") == std::string::npos && read(out[0], &c, 1) == 1) said += c;
    kill(pid, signal_number);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

// A SIGUSR1 (the picture request) sent as soon as the simulator says it is
// listening finds its handler: the simulator lives on and stops cleanly.
TEST(Card_simulator_program, ASignalRightAfterListeningFindsItsHandler) {
    Temp_dir dir;
    for (int k = 0; k < 20; ++k)
        ASSERT_EQ(status_after_signal_at_start(SIGUSR1, dir.path() + "/flash.bin"), 0) << "try " << k;
}


namespace {

// A peer on 127.0.0.1 that takes every line without running it and answers
// every request with answer: a card that lies about what it ran. Serves
// one connection at a time until destroyed.
class Lying_peer {
public:
    explicit Lying_peer(std::string answer) : answer_(std::move(answer)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        socklen_t len = sizeof a;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 4) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~Lying_peer() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    void serve() {
        while (!stop_) {
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            timeval t{0, 200000};   // wake now and then to see stop_
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
            Frame_reader reader;
            uint8_t buf[4096];
            for (ssize_t n; !stop_ && ((n = recv(c, buf, sizeof buf, 0)) > 0 || (n < 0 && errno == EAGAIN));) {
                if (n <= 0) continue;
                reader.feed(buf, static_cast<size_t>(n));
                Card_frame f;
                while (reader.next(&f) == Frame_reader::Status::frame)
                    if (f.kind == frame_request) {
                        const std::string bytes = encode_frame(Card_frame{frame_answer, f.tag, answer_});
                        send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                    }
            }
            close(c);
        }
    }
    std::string answer_;
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

// A send counts as sent only when the card ran all its lines: a peer that
// runs none, or answers what is no count, gets a failure with the numbers,
// from the editor's live send and from vantiro-cli send alike.
TEST_F(Card_link_test, ASendIsSentOnlyWhenTheCardRanItsLines) {
    for (const char* lie : {"0 lines run on this connection", "OK"}) {
        Lying_peer peer(lie);
        EXPECT_FALSE(send_to(peer.address())) << lie;
        std::string status;
        bool to_stderr = false;
        ASSERT_TRUE(take_live_status(&status, &to_stderr));
        const size_t total = live_scene_lines(scene, false, scene_text_files()).size();
        EXPECT_NE(status.find(std::string(lie) == "OK" ? "is not a count (\"OK\")"
                                                        : "the card ran 0 of " + std::to_string(total) + " lines"),
                  std::string::npos)
            << status;
        reset_card_link();

        const Command_run r = run_command(std::string(VANTIRO_CLI) + " send " + dir.path() + " --to " + peer.address());
        EXPECT_NE(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("sent "), std::string::npos) << r.output;
    }
}

// 80 clients that connect and say nothing, against the simulator program
// limited to 64 descriptors: it refuses those beyond its cap, closes the
// idle ones, and a real client is served once they are gone.
TEST(Card_simulator_program, ACrowdOfIdleClientsLeavesRoomForARealOne) {
    Temp_dir dir;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string flash = dir.path() + "/flash.bin";
        execl(VANTIRO_CARD, VANTIRO_CARD, "--port", "0", "--idle-seconds", "1", "--flash", flash.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string said;
    char ch;
    while (said.find('\n') == std::string::npos && read(out[0], &ch, 1) == 1) said += ch;
    const size_t colon = said.find(':', said.find("listening on"));
    ASSERT_NE(colon, std::string::npos) << said;
    const int port = std::atoi(said.c_str() + colon + 1);
    std::vector<int> idle;   // connects that are not waited for: a full queue must not stop the test
    for (int k = 0; k < 80; ++k) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        idle.push_back(fd);
    }
    // A real client, retried while the crowd holds every place.
    const int32_t client = CreateClient(("127.0.0.1:" + std::to_string(port)).c_str(), CSDK_DEFAULT_PORT, 254, 0, 0, 0);
    uint8_t answer[CSDK_ANSWER_MAX];
    int32_t received = 0;
    bool served = false;
    for (int tries = 0; tries < 100 && !served; ++tries) {
        served = CARD_Get_Info_Cmd(client, "card status", 11, answer, &received) == CSDK_OK;
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(served) << CSDK_LastError(client);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), static_cast<size_t>(received)), "0 lines run");
    for (int fd : idle)
        if (fd >= 0) close(fd);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    CSDK_Reset();
}
