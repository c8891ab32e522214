// The GL dot sink. In batched mode it gathers what a frame draws into flat
// arrays and draws each run of one kind (LED dots of one point size, line
// segments, glyph quads) with one glDrawArrays call; a change of kind or of
// line stipple closes the run, so the drawing order is that of plain
// drawing, primitive by primitive.
//   - Each dot becomes the quad of exactly the pixels its GL point would
//     light; consecutive dots of one colour that extend a row, a column or
//     a block of columns share one quad (painting their union in one go
//     leaves the same pixels), and a dot repeated on the quad being built is
//     dropped.
//     Dots at most a point's size apart (glyph and digit rows) also merge.
//     A quad that repaints an earlier one unchanged is dropped (see
//     Repaint_filter).
//   - Line loops and segments become GL_LINES with a colour per vertex
//     (a dashed loop is drawn as one loop, so its dashes run on around
//     its corners as they do in plain drawing).
//   - Glyph textures live in one atlas texture, so labels batch too.
// Texturing is on for glyph runs and off for everything else (the frame
// never draws dots or lines with texturing on). Per-dot mode draws every dot
// as its own glBegin/glEnd point (kept for comparison in the benchmark).
#pragma once

#include <cstdint>
#include <vector>

#include "render/dot_sink.h"

class Gl_sink final : public Dot_sink {
public:
    using Present = void (*)();

    // present is called at the end of each frame (buffer swap); may be null.
    explicit Gl_sink(Present present, bool batched = true);

    void begin_frame() override;
    void end_frame() override;
    void set_projection(const View_projection& v) override;
    void set_colour(float r, float g, float b) override;
    void set_point_size(float size) override;
    void point(float x, float y) override;
    void dot(float x, float y, float size, const float* rgb) override;
    void line_loop(const float* xy, int n) override;
    void set_line_stipple(bool on, int factor, uint16_t pattern) override;
    void lines(const float* xy, int n) override;
    void set_texturing(bool on) override;
    uint32_t make_texture(const uint8_t* luminance_alpha, int w, int h) override;
    void glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) override;
    // Batched: one texture of one texel a LED, drawn as one quad with
    // nearest filtering, so each LED covers the pixels its point would.
    // Per-dot: false (that sink is the pictures' reference).
    bool led_block(const Led_block& block) override;

    // The layer is a framebuffer object with one colour buffer of the
    // drawing area's size, made at its first use; shown by a blit, so its
    // pixels reach the frame unchanged. Off when the GL has no framebuffer
    // objects or the layer cannot be made (then frames draw everything),
    // or when turned off (the benchmark measures both).
    bool has_layer() const override;
    void begin_layer(int left, int top, int right, int bottom) override;
    void end_layer() override;
    void show_layer() override;
    void set_layer_enabled(bool on) { layer_enabled_ = on; }

    // Counters of the last completed frame, for benchmarks.
    long last_frame_dots() const { return last_dots_; }
    long last_frame_draw_calls() const { return last_calls_; }

private:
    enum class Run { none, dots, lines, glyphs };

    // Makes (or remakes, at a new size) the layer; false when it cannot be.
    bool ready_layer();
    bool stipple_on_ = false;   // dashed lines (set_line_stipple)
    bool clear_pending_ = false;   // begin_frame's clear, not done yet
    void clear_if_pending();
    bool layer_enabled_ = true;
    bool layer_failed_ = false;
    uint32_t layer_fbo_ = 0, layer_colour_ = 0;
    int layer_w_ = 0, layer_h_ = 0;   // size of the layer's buffer
    int view_w_ = 0, view_h_ = 0;     // drawing area (set_projection)

    // Dot centres x0..x1, y0..y1 (inclusive) of one colour.
    struct Span {
        int x0, y0, x1, y1;
        float rgb[3];
        bool same_colour(const float* c) const {
            return rgb[0] == c[0] && rgb[1] == c[1] && rgb[2] == c[2];
        }
        bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    };

    // Drops a dot quad that repaints exactly the pixels of an earlier quad
    // of the same run in the same colour when nothing of another colour has
    // been painted near it since (so the picture cannot change). Stacked
    // copies of the palette cost nothing then. Nearness is judged by square
    // tiles of the window; colours by up to four slots per run, any further
    // colour counting as unlike all. A run with more distinct quads than
    // the table holds turns the filter off for its rest (a scene of many
    // different shapes has few repeats to drop).
    class Repaint_filter {
    public:
        void new_run();
        // True when quad (l, t)-(r, b) of colour rgb may be dropped;
        // otherwise records it as painted.
        bool repeats(int l, int t, int r, int b, const float* rgb);

    private:
        static constexpr int colour_slots = 4;
        static constexpr int tile_pixels = 32;
        static constexpr int tiles_across = 64;        // 2048 pixels; beyond: the edge tiles
        static constexpr uint32_t table_size = 1 << 13;
        static constexpr uint32_t probe_limit = 8;
        struct Tile {
            uint32_t generation;
            uint32_t last[colour_slots + 1];   // latest quad per colour slot
        };
        struct Entry {
            uint32_t generation, sequence;
            int l, t, r, b, slot;
        };
        int slot(const float* rgb);
        Tile& tile(int tx, int ty);

        uint32_t generation = 1, sequence = 0, entries_used = 0;
        bool off = false;   // the table filled up: nothing more is dropped this run
        float colours[colour_slots][3] = {};
        int colours_used = 0;
        std::vector<Tile> tiles;      // sized once
        std::vector<Entry> table;     // sized once
    };

    int point_pixels() const { return static_cast<int>(run_size_ + 0.5f); }
    void start(Run kind);
    void flush();
    void settle_column();
    void emit(const Span& s);
    void add_segment(float x0, float y0, float x1, float y1);
    void immediate(unsigned mode, const float* xy, int n);   // per-dot mode's lines

    Present present_;
    bool batched_;
    uint32_t leds_texture_ = 0;      // led_block's texture, made at its first use
    int leds_w_ = 0, leds_h_ = 0;    // its size in texels
    int max_texture_ = -1;           // the GL's largest texture side (-1: not asked yet)
    std::vector<uint8_t> texels_;    // led_block's picture; grows only
    float colour_[3] = {1, 1, 1};
    float point_size_ = 1;
    Run run_ = Run::none;
    // The run's arrays keep their capacity from frame to frame.
    std::vector<float> positions_;   // x, y per vertex
    std::vector<float> colours_;     // r, g, b per vertex
    std::vector<float> texcoords_;   // u, v per vertex (glyph runs)
    float run_size_ = 0;             // point size of a dot run
    // Dot quads being built: a block of whole columns, and the column (or
    // row) growing after it; both of one colour.
    Span block_{}, column_{};
    bool have_block_ = false, have_column_ = false;
    Repaint_filter repaint_;
    long dots_ = 0, calls_ = 0;
    long last_dots_ = 0, last_calls_ = 0;
};
