// The frame: readout arithmetic, the reshape projection, and what one frame
// sends to the dot sink.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "app/frame.h"
#include "app/frame_signal.h"
#include "controller/live_send.h"
#include "render/memory_sink.h"
#include "render/outline_font.h"
#include "scene/view_state.h"
#include "temp_dir.h"
#include "ui/keyboard.h"

#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();
static Ui_state& ui = test_ui();

namespace {

using std::make_tuple;

// The readout counts dots from twelve dots past the origin, none before it, never dividing by zero.
TEST(Readout, CountsDotsFromTwelveDotsPastTheOrigin) {
    const struct { int x, y, pitch; const char* want; } cases[] = {
        {0, 0, 2, "(none)"},         {275, 165, 2, "[0 , 0]"},    {276, 170, 2, "[1 , 3]"},
        {274, 300, 2, "(none)"},     {300, 164, 2, "(none)"},     {400, 300, 2, "[63 , 68]"},
        {400, 300, 4, "[31 , 34]"},  {1199, 800, 255, "[3 , 2]"}, {400, 300, 0, "[126 , 136]"},
    };
    for (const auto& c : cases) {
        char buf[64];
        const std::string got = format_readout(c.x, c.y, c.pitch, buf, sizeof buf) ? buf : "(none)";
        EXPECT_EQ(got, c.want) << c.x << "," << c.y << " at pitch " << c.pitch;
    }
}

// One pixel per unit with y growing downwards; a height of 0 acts as 1 and asks for a frame.
TEST(Reshape, OnePixelPerUnitOriginTopLeft) {
    Test_app& app = test_app();
    const View_projection v = view_projection(1200, 801);
    EXPECT_EQ(make_tuple(v.viewport_w, v.viewport_h, v.left, v.right, v.bottom, v.top),
              make_tuple(1200, 801, 0, 1200, 801, 0));   // bottom is below top
    EXPECT_EQ(make_tuple(v.near_z, v.far_z, v.eye[2], v.centre[2], v.up[1]), make_tuple(-100, 200, 30, 10, 1));

    Memory_sink sink;
    reshape_view(app.frame, sink, scene, 640, 0);
    ASSERT_TRUE(sink.has_projection);
    EXPECT_EQ(make_tuple(sink.projection.viewport_h, sink.projection.bottom, sink.projection.right, frame_pending(app.frame)),
              make_tuple(1, 1, 640, true));
}

// A frame is bracketed, leaves texturing off and settles the pending change.
TEST(Frame, IsBracketedAndLeavesTexturingOff) {
    Test_app& app = test_app();
    Memory_sink sink;
    const auto font = std::make_unique<Outline_font>();
    Screen screen{sink, *font, test_fonts()};
    sink.texturing = true;
    note_change(app.frame);
    draw_display(app.frame, screen, scene, ui, app.texts);
    EXPECT_EQ(make_tuple(sink.frames_begun, sink.frames_ended, sink.texturing, frame_pending(app.frame)),
              make_tuple(1, 1, false, false));
}

// The frame signal of test runs: off without VANTIRO_FRAME_FILE (F12 stays
// the editor's, no file, no wait); on, the file says after the first frame
// and after each frame that shows a new F12 marker how far the editor got,
// once the window system has caught up, and is left alone in between.
int window_waits = 0;
void count_window_wait() { ++window_waits; }

std::string read_all(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return in ? s.str() : "(no file)";
}

TEST(Frame_signal, SaysWhichMarkerIsOnTheScreenOnlyInTestRuns) {
    Test_app& app = test_app();
    Temp_dir dir;
    const std::string file = dir.path() + "/frame";
    window_waits = 0;
    Frame_signal signal;
    Frame_cache& frame = app.frame;
    Card_link& link = app.link;   // its sender idle: "sending 0"

    unsetenv("VANTIRO_FRAME_FILE");
    frame_signal_start(signal);
    EXPECT_FALSE(frame_signal_marker(signal, frame, key_f12));
    frame_signal_presented(signal, link, count_window_wait);
    EXPECT_EQ(window_waits, 0);

    setenv("VANTIRO_FRAME_FILE", file.c_str(), 1);
    frame_signal_start(signal);
    EXPECT_EQ(read_all(file), "(no file)");
    frame_signal_presented(signal, link, count_window_wait);
    EXPECT_EQ(read_all(file), "frame 1 done 0 sending 0 reading 0\n");
    EXPECT_EQ(window_waits, 1);
    EXPECT_FALSE(frame_signal_marker(signal, frame, key_f1));   // any other key is the editor's

    EXPECT_TRUE(frame_signal_marker(signal, frame, key_f12));
    EXPECT_EQ(read_all(file), "frame 1 done 0 sending 0 reading 0\n");
    frame_signal_presented(signal, link, count_window_wait);
    EXPECT_EQ(read_all(file), "frame 2 done 1 sending 0 reading 0\n");
    EXPECT_EQ(window_waits, 2);
    frame_signal_presented(signal, link, count_window_wait);   // nothing new: no write, no wait
    EXPECT_EQ(read_all(file), "frame 2 done 1 sending 0 reading 0\n");
    EXPECT_EQ(window_waits, 2);
    EXPECT_TRUE(frame_signal_marker(signal, frame, key_f12));
    EXPECT_TRUE(frame_signal_marker(signal, frame, key_f12));
    frame_signal_presented(signal, link, nullptr);
    EXPECT_EQ(read_all(file), "frame 4 done 3 sending 0 reading 0\n");

    unsetenv("VANTIRO_FRAME_FILE");
}

}  // namespace
