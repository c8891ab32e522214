// The frame: readout arithmetic, the reshape projection, and what one frame
// sends to the dot sink.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/frame.h"
#include "render/memory_sink.h"
#include "scene/view_state.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

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
    const View_projection v = view_projection(1200, 801);
    EXPECT_EQ(make_tuple(v.viewport_w, v.viewport_h, v.left, v.right, v.bottom, v.top),
              make_tuple(1200, 801, 0, 1200, 801, 0));   // bottom is below top
    EXPECT_EQ(make_tuple(v.near_z, v.far_z, v.eye[2], v.centre[2], v.up[1]), make_tuple(-100, 200, 30, 10, 1));

    Memory_sink sink;
    set_dot_sink(&sink);
    reshape_view(scene, 640, 0);
    set_dot_sink(nullptr);
    ASSERT_TRUE(sink.has_projection);
    EXPECT_EQ(make_tuple(sink.projection.viewport_h, sink.projection.bottom, sink.projection.right, frame_pending()),
              make_tuple(1, 1, 640, true));
}

// A frame is bracketed, leaves texturing off and settles the pending change.
TEST(Frame, IsBracketedAndLeavesTexturingOff) {
    Memory_sink sink;
    sink.texturing = true;
    set_dot_sink(&sink);
    note_change();
    draw_display(scene);
    set_dot_sink(nullptr);
    EXPECT_EQ(make_tuple(sink.frames_begun, sink.frames_ended, sink.texturing, frame_pending()),
              make_tuple(1, 1, false, false));
}

}  // namespace
