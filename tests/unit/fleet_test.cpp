// Scenes from the broker as a sign takes them, without a broker: retained
// copies arrive again and in any order, some are not scenes, some hold a
// line the card does not know. A random stream of such messages goes to a
// sign, and after each one the sign shows exactly the newest whole scene it
// was given (a card model that ran only that script), names it by sequence
// and hash, and keeps it beside its flash: a sign started afresh shows it
// before any broker answers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "card/card_sim.h"
#include "card/fleet_card.h"
#include "controller/drive_export.h"
#include "random_scene.h"
#include "render/bitmap_font.h"
#include "temp_dir.h"
#include "test_scene.h"

namespace {

constexpr int screen_w = 192, screen_h = 96;

// True when the two screens light the same LEDs in the same colours; else
// false with the first LED that differs.
::testing::AssertionResult same_screen(const Led_framebuffer& a, const Led_framebuffer& b) {
    if (a.width() != b.width() || a.height() != b.height()) return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.row(y)[x] != b.row(y)[x])
                return ::testing::AssertionFailure() << "LED (" << x << "," << y << "): " << int(a.row(y)[x])
                                                     << " against " << int(b.row(y)[x]);
    return ::testing::AssertionSuccess();
}

// The card's picture of script alone, from power-on.
std::unique_ptr<Card_model> picture_of(const std::string& script) {
    auto card = std::make_unique<Card_model>(test_fonts(), screen_w, screen_h);
    card->run_script(reinterpret_cast<const uint8_t*>(script.data()), script.size());
    return card;
}

// A broker address where nothing listens: a port of 127.0.0.1 held bound
// (so no one else takes it) but never listening, so a connect is refused.
class Refusing_port {
public:
    Refusing_port() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&a), n) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~Refusing_port() {
        if (fd_ >= 0) close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

}  // namespace

TEST(Fleet_card, ShowsTheNewestWholeSceneWhateverComesAndKeepsItForTheNextStart) {
    set_bitmap_fonts_below(test_fonts(), VANTIRO_FONT_DIR);
    Temp_dir dir;
    // Scripts of random scenes, as the stick's export writes them.
    std::vector<std::string> scripts;
    auto scene = std::make_unique<Scene>();
    for (uint32_t seed = 1; scripts.size() < 5; ++seed) {
        make_random_scene(*scene, seed, seed % 2 == 0);
        Script_files files;
        files.text_source_folder = dir.path() + "/";
        const std::string s = scene_command_script(*scene, files);
        bool seen = false;
        for (const std::string& t : scripts) seen = seen || t == s;
        if (!seen) scripts.push_back(s);
    }

    Refusing_port nobody;
    ASSERT_NE(nobody.port(), 0);
    Broker_options broker;
    broker.host = "127.0.0.1";
    broker.port = nobody.port();
    const std::string kept = dir.path() + "/FLASH.scene";

    std::mt19937 random(static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed()));
    auto below = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };

    Card_simulator sim(test_fonts(), screen_w, screen_h, "", Card_faults{}, nullptr);
    Fleet_card sign;
    std::string why;
    ASSERT_TRUE(sign.start(sim, broker, "s0", "g0", kept, &why)) << why;
    const auto power_on = picture_of("");
    ASSERT_TRUE(same_screen(sim.card.screen, power_on->screen));

    uint64_t shown_seq = 0;
    std::string shown;   // the script the sign should show
    auto expected = picture_of("");
    int taken = 0, refused = 0;
    for (int m = 0; m < 120; ++m) {
        const std::string& script = scripts[static_cast<size_t>(below(static_cast<int>(scripts.size())))];
        // Sequences from a small range, so older and equal ones come often;
        // the broken messages are newer, so only their fault refuses them.
        const int kind = below(10);
        const uint64_t seq = kind < 2 ? shown_seq + 1 + static_cast<uint64_t>(below(3))
                                      : 1 + static_cast<uint64_t>(below(60)) + static_cast<uint64_t>(m) / 2;
        std::string message;
        bool whole = true;
        switch (kind) {
        case 0: {   // a line the card does not know, at the start of a line of the script
            std::string s = script;
            // The script may end in a NUL, and the card reads nothing after
            // it: the line goes before it, at a line's start.
            const size_t end = std::min(s.find('\0'), s.size());
            size_t at = s.find('\n', static_cast<size_t>(below(static_cast<int>(end))));
            at = at == std::string::npos || at >= end ? 0 : at + 1;
            s.insert(at, "led frobnicate 1 2\n");
            message = encode_fleet_scene(Fleet_scene{seq, s});
            whole = false;
            break;
        }
        case 1: {   // a header cut short, or not a scene at all
            const std::string full = encode_fleet_scene(Fleet_scene{seq, script});
            const std::string bad[] = {full.substr(0, static_cast<size_t>(below(22))), "hello",
                                       "vantiro-scene 1\nseq x\nled clearall \n",
                                       "vantiro-scene 2\nseq 5\n" + script};
            message = bad[below(4)];
            whole = false;
            break;
        }
        case 2:   // the scene shown, seen again (a retained copy)
            message = encode_fleet_scene(Fleet_scene{shown_seq, shown});
            whole = false;
            break;
        default:
            message = encode_fleet_scene(Fleet_scene{seq, script});
        }
        const bool newer = whole && seq > shown_seq;
        const bool ran = sign.run(sim, message, &why);
        ASSERT_EQ(ran, newer) << "message " << m << " (kind " << kind << ", seq " << seq << ", shown " << shown_seq << "): " << why;
        if (ran) {
            shown_seq = seq;
            shown = script;
            expected = picture_of(script);
            ++taken;
        } else {
            EXPECT_FALSE(why.empty()) << "message " << m << " was refused without a reason";
            ++refused;
        }
        ASSERT_EQ(sign.seq(), shown_seq);
        ASSERT_EQ(sign.hash(), shown_seq ? fleet_scene_hash(shown) : "");
        ASSERT_TRUE(same_screen(sim.card.screen, expected->screen)) << "after message " << m;
    }
    EXPECT_GT(taken, 5);
    EXPECT_GT(refused, 20);
    sign.stop();

    // A fresh start with no broker to answer: the kept scene shows, and
    // only a newer one replaces it.
    Card_simulator restarted(test_fonts(), screen_w, screen_h, "", Card_faults{}, nullptr);
    Fleet_card again;
    ASSERT_TRUE(again.start(restarted, broker, "s0", "g0", kept, &why)) << why;
    EXPECT_EQ(again.seq(), shown_seq);
    EXPECT_TRUE(same_screen(restarted.card.screen, expected->screen));
    EXPECT_FALSE(again.run(restarted, encode_fleet_scene(Fleet_scene{shown_seq, scripts[0]}), &why));
    EXPECT_TRUE(again.run(restarted, encode_fleet_scene(Fleet_scene{shown_seq + 1, scripts[0]}), &why)) << why;
    EXPECT_TRUE(same_screen(restarted.card.screen, picture_of(scripts[0])->screen));
}
