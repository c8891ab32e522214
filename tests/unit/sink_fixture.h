// Fixture for drawing tests: a memory sink installed as the dot sink, the
// pitch and drawing area reset, and helpers to look at the lit dots.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "render/dot_sink.h"
#include "render/memory_sink.h"
#include "scene/view_state.h"

class Sink_test : public ::testing::Test {
protected:
    void SetUp() override {
        set_dot_sink(&sink);
        set_dot_pitch(2);
        view_width = 1200;
        view_height = 801;
    }
    void TearDown() override { set_dot_sink(nullptr); }

    // Distinct dot centres lit since the last clear.
    std::set<std::pair<int, int>> lit() const {
        std::set<std::pair<int, int>> out;
        for (const auto& d : sink.dots) out.insert({int(d.x), int(d.y)});
        return out;
    }

    Memory_sink sink;
};
