// The live send against the USB stick: two hundred random scenes go to a
// simulated card over the network, as the editor sends them live, and are
// exported as the ledsys tree a second card runs at power-on. The live
// send carries no digit modules (they reach the card on the stick only), so
// the live card is compared with the stick of the same scene without its
// digit modules (left in the palette, every other element in place): the
// two screens must agree on every LED. The live card then stores the scene
// with its own "file save" and is restarted on its flash: where the stored
// script holds every line, it shows the same again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/config.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "card/card_sim.h"
#include "command/replay.h"
#include "controller/drive_export.h"
#include "controller/live_send.h"
#include "csdk/csdk.h"
#include "platform/platform.h"
#include "random_scene.h"
#include "render/bitmap_font.h"
#include "running_card.h"
#include "temp_dir.h"

#include "scene/view_state.h"
#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

class Live_usb_test : public ::testing::Test {
protected:
    void TearDown() override { reset_card_link(test_app().link); }

    Diag_capture diag;   // the link's diagnostics, kept off the test's output

    // Points the scene's files and the card's fonts at the test's folders;
    // again after each scene is built, since that starts from the start-up
    // state.
    void use_folders() {
        Test_app& app = test_app();
        set_bitmap_fonts_below(test_fonts(), VANTIRO_FONT_DIR);
        std::string err;
        ASSERT_TRUE(use_folder(app.paths, dir.path(), &err)) << err;
    }

    // Sends the scene now in the pools to card live (no pacing) and waits
    // until the card has run every line. False when it did not.
    bool send_live(Running_card& card, std::string* why) {
        Test_app& app = test_app();
        settle_positions_on_sign(scene);
        const long expected = static_cast<long>(live_scene_lines(scene, false, app.texts).size());
        std::snprintf(app.config.remote_ip, sizeof app.config.remote_ip, "%s", card.address().c_str());
        app.link.client = CreateClient(app.config.remote_ip, CSDK_DEFAULT_PORT, 254, 0, 0, 0);
        app.config.live_pacing = 0;
        send_scene_live(app.link, test_fonts(), app.config, app.paths, app.texts, test_ui().status, scene);
        if (!app.link.sender.wait_idle(10000) || !app.link.sender.last_send_ok()) {
            *why = "the live send did not finish";
            return false;
        }
        // The simulator's thread runs what it has read; ask how far it is.
        const std::string done = std::to_string(expected) + " lines run";
        uint8_t answer[CSDK_ANSWER_MAX];
        int32_t n = 0;
        std::string got;
        for (int tries = 0; tries < 400; ++tries) {
            if (CARD_Get_Info_Cmd(app.link.client, "card status", 11, answer, &n) != CSDK_OK) break;
            got.assign(reinterpret_cast<char*>(answer), static_cast<size_t>(n));
            if (got == done) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        *why = "the card says \"" + got + "\", expected \"" + done + "\"";
        return false;
    }

    // The screen of a card that ran the ledsys tree exported for the scene
    // now in the pools.
    bool stick_screen(int width, int height, Led_framebuffer* out, std::string* why) {
        settle_positions_on_sign(scene);
        const std::string& root = stick.path();
        const Export_outcome o = export_to_folder(scene, root, test_app().paths.scene_folder, 0);
        if (!o.written) {
            *why = "export: " + o.message;
            return false;
        }
        Card_simulator card(test_fonts(), width, height, "", Card_faults{}, nullptr);
        if (!card.run_usb(o.ledsys, why)) return false;
        *out = card.card.screen;
        return true;
    }

    Temp_dir dir, stick;
};

// LEDs that differ between two screens of the same size: how many, and the
// first few as "(x,y) live=c stick=c" (255: dark).
std::string differing_leds(const Led_framebuffer& live, const Led_framebuffer& usb, int* count) {
    std::string first;
    *count = 0;
    for (int y = 0; y < usb.height(); ++y)
        for (int x = 0; x < usb.width(); ++x)
            if (live.at(x, y) != usb.at(x, y) && (*count)++ < 4)
                first += " (" + std::to_string(x) + "," + std::to_string(y) + ") live=" +
                         std::to_string(live.at(x, y)) + " stick=" + std::to_string(usb.at(x, y));
    return first;
}

}  // namespace

TEST_F(Live_usb_test, TheLiveSendShowsTheStickWithoutItsDigitModules) {
    Test_app& app = test_app();
    std::string report;
    int scenes_differing = 0, digit_scenes = 0, digits_seen_on_stick = 0, restarts = 0;
    long lit = 0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        const Random_scene s = make_random_scene(scene, seed, true);
        use_folders();
        const int w = s.cols * s.width, h = s.rows * s.height;
        const std::string flash = dir.path() + "/flash-" + std::to_string(seed) + ".bin";
        Running_card card(flash, {}, 0, w, h);
        ASSERT_TRUE(card.listening);
        std::string why;
        if (!send_live(card, &why)) {
            report += "\n  scene " + std::to_string(seed) + ": " + why;
            ++scenes_differing;
            continue;
        }
        const Led_framebuffer live = card.sim.card.screen;

        // The card's own "file save", then the card restarted on its flash:
        // it shows the scene again, when its stored script held every line.
        // (Every line sent so far has run: the count stands still until this one.)
        const std::string saved = std::to_string(card.sim.lines_run + 1) + " lines run";
        ASSERT_EQ(SCREEN_SendDynamicCmd(app.link.client, 0, 10, "file save "), CSDK_OK);
        uint8_t answer[CSDK_ANSWER_MAX];
        int32_t n = 0;
        for (int tries = 0; tries < 400; ++tries) {
            ASSERT_EQ(CARD_Get_Info_Cmd(app.link.client, "card status", 11, answer, &n), CSDK_OK);
            if (std::string(reinterpret_cast<char*>(answer), static_cast<size_t>(n)) == saved) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (card.sim.save_dropped == 0) {
            card.sim.wait_flash_written();   // the file is written off the card's loop
            Card_simulator restarted(test_fonts(), w, h, flash, Card_faults{}, nullptr);
            int count = 0;
            const std::string first = differing_leds(restarted.card.screen, live, &count);
            if (count) {
                ++scenes_differing;
                report += "\n  scene " + std::to_string(seed) + " after file save and a restart: " +
                          std::to_string(count) + " LEDs differ:" + first;
            }
            ++restarts;
        }
        reset_card_link(app.link);

        // The stick with the digit modules, to know that they show there.
        Led_framebuffer with_digits(0, 0), without(0, 0);
        ASSERT_TRUE(stick_screen(w, h, &with_digits, &why)) << why;
        make_random_scene(scene, seed, false);
        use_folders();
        ASSERT_TRUE(stick_screen(w, h, &without, &why)) << why;
        if (s.digits) {
            ++digit_scenes;
            int shown = 0;
            differing_leds(with_digits, without, &shown);
            if (shown) ++digits_seen_on_stick;
        }

        int count = 0;
        const std::string first = differing_leds(live, without, &count);
        lit += without.lit_count();
        if (count) {
            ++scenes_differing;
            report += "\n  scene " + std::to_string(seed) + " (" + std::to_string(s.rows) + "x" +
                      std::to_string(s.cols) + " boards of " + std::to_string(s.width) + "x" +
                      std::to_string(s.height) + ", pitch " + std::to_string(s.pitch) + ", " +
                      std::to_string(s.digits) + " digit modules): " + std::to_string(count) +
                      " LEDs differ:" + first;
        }
    }
    // The comparison sees something: lit LEDs, and digit modules that the
    // stick does show.
    EXPECT_GT(lit, 20000);
    EXPECT_GT(digit_scenes, 20);
    EXPECT_GT(digits_seen_on_stick, digit_scenes / 2);
    EXPECT_GT(restarts, 40);   // scenes whose stored script held them whole
    EXPECT_EQ(scenes_differing, 0) << report;
}
