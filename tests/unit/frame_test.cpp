// The frame: readout arithmetic, the reshape projection, and what one frame
// sends to the dot sink.
#include <gtest/gtest.h>

#include <string>

#include "app/frame.h"
#include "render/memory_sink.h"
#include "scene/view_state.h"

namespace {

// The readout counts dots from twelve dots past the origin, none left of or
// above it, and never divides by zero.
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
    View_projection v = view_projection(1200, 801);
    EXPECT_EQ(v.viewport_w, 1200);
    EXPECT_EQ(v.viewport_h, 801);
    EXPECT_EQ(v.left, 0);
    EXPECT_EQ(v.right, 1200);
    EXPECT_EQ(v.bottom, 801);   // bottom is below top
    EXPECT_EQ(v.top, 0);
    EXPECT_EQ(v.near_z, -100);
    EXPECT_EQ(v.far_z, 200);
    EXPECT_EQ(v.eye[2], 30);
    EXPECT_EQ(v.centre[2], 10);
    EXPECT_EQ(v.up[1], 1);

    Memory_sink sink;
    set_dot_sink(&sink);
    reshape_view(640, 0);
    set_dot_sink(nullptr);
    ASSERT_TRUE(sink.has_projection);
    EXPECT_EQ(sink.projection.viewport_h, 1);
    EXPECT_EQ(sink.projection.bottom, 1);
    EXPECT_EQ(sink.projection.right, 640);
    EXPECT_TRUE(frame_pending());
}

// A frame is bracketed, leaves texturing off and settles the pending change.
TEST(Frame, IsBracketedAndLeavesTexturingOff) {
    Memory_sink sink;
    sink.texturing = true;
    set_dot_sink(&sink);
    note_change();
    draw_display();
    set_dot_sink(nullptr);
    EXPECT_EQ(sink.frames_begun, 1);
    EXPECT_EQ(sink.frames_ended, 1);
    EXPECT_FALSE(sink.texturing);
    EXPECT_FALSE(frame_pending());
}

}  // namespace
