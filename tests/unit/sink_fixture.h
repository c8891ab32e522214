// Fixture for drawing tests: a memory sink and an outline font of the
// test's own (no face until the test opens one), the pitch and drawing area
// reset, and helpers to look at the lit dots.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <utility>

#include "render/bitmap_font.h"
#include "render/dot_sink.h"
#include "render/led_dots.h"
#include "render/memory_sink.h"
#include "render/outline_font.h"
#include "render/shapes.h"
#include "scene/view_state.h"
#include "tests/unit/test_scene.h"


class Sink_test : public ::testing::Test {
protected:
    void SetUp() override {
        Scene& scene = test_scene();
        set_dot_pitch(scene, 2);
        scene.view_width = 1200;
        scene.view_height = 801;
    }

    // Distinct dot centres lit since the last clear.
    std::set<std::pair<int, int>> lit() const {
        std::set<std::pair<int, int>> out;
        for (const auto& d : sink.dots) out.insert({int(d.x), int(d.y)});
        return out;
    }

    // The frame's two targets for the test scene's view, into the sink.
    Editor_dots editor() { return editor_dots(sink, test_scene()); }
    Editor_dots margin() { return margin_dots(sink, test_scene()); }

    // The grid target as it stands now (the pitch and view of this moment).
    Draw_target& editor_ref() { return current_.emplace(editor()); }

    // An element drawn as the frame draws one that lies on no board.
    void draw_digit(const Digit_unit& d, bool selected) {
        Editor_dots grid = editor(), in_margin = margin();
        draw_digit_unit(grid, in_margin, d, selected);
    }
    void draw_text(const string_draw& s, bool selected) {
        Editor_dots grid = editor(), in_margin = margin();
        draw_text_element(test_fonts(), sink, grid, in_margin, s, selected);
    }

    Memory_sink sink;
    Outline_font font;
    Screen screen{sink, font, test_fonts()};   // what the frame's labels are drawn onto

private:
    std::optional<Editor_dots> current_;
};
