#include "render/gl_sink.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstring>

namespace {

// The glyph atlas shared by every sink of the process (one GL context):
// glyphs are packed on shelves with a texel of space around each.
struct Atlas {
    static constexpr int size = 1024;
    GLuint texture = 0;
    int shelf_x = 0, shelf_y = 0, shelf_h = 0;
    bool full_reported = false;
    std::vector<float> rects;   // u0, v0, u1, v1 per glyph; name n is entry n - 1
};
Atlas atlas;

void create_atlas() {
    glGenTextures(1, &atlas.texture);
    glBindTexture(GL_TEXTURE_2D, atlas.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    std::vector<uint8_t> clear(2 * Atlas::size * Atlas::size, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, Atlas::size, Atlas::size, 0, GL_LUMINANCE_ALPHA,
                 GL_UNSIGNED_BYTE, clear.data());
}

// GL state for drawing glyphs: the atlas, sampled nearest (each texel is
// one pixel), blended by its alpha. Blending stays on afterwards.
void glyph_state() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, atlas.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Texture coordinates of glyph name, or null when there is none.
const float* atlas_rect(uint32_t name) {
    if (name == 0 || name > atlas.rects.size() / 4) return nullptr;
    return &atlas.rects[4 * (name - 1)];
}

}  // namespace

Gl_sink::Gl_sink(Present present, bool batched) : present_(present), batched_(batched) {
    positions_.reserve(8 * 65536);
    colours_.reserve(12 * 65536);
}

void Gl_sink::start(Run kind) {
    if (run_ != kind) flush();
    run_ = kind;
}

// Appends the quad of the pixels that the points of span s light. A GL
// point of even size n at integer centre c lights pixels c - n/2 .. c + n/2 - 1
// on both axes. One of odd size is centred on the pixel whose lower GL edge
// is at c: pixels c - (n-1)/2 .. c + (n-1)/2 across, and, with y growing
// downwards here, one row higher. (Mesa draws a wide point whose centre
// lies just outside the viewport in part, as a quad is.)
void Gl_sink::emit(const Span& s) {
    const int n = point_pixels();
    const int before = n / 2;                       // pixels left of / above the centre
    const int after = n % 2 ? n / 2 + 1 : n / 2;    // the centre's pixel and those after
    const int shift = n % 2 ? 1 : 0;
    const int il = s.x0 - before, ir = s.x1 + after;
    const int it = s.y0 - before - shift, ib = s.y1 + after - shift;
    if (repaint_.repeats(il, it, ir, ib, s.rgb)) return;
    const float l = float(il), r = float(ir), t = float(it), b = float(ib);
    const float xy[8] = {l, t, r, t, r, b, l, b};
    positions_.insert(positions_.end(), xy, xy + 8);
    for (int k = 0; k < 4; ++k) colours_.insert(colours_.end(), s.rgb, s.rgb + 3);
}

// Moves the growing column into the block: appended when it is the block's
// next column of the same height, otherwise it becomes the new block.
void Gl_sink::settle_column() {
    if (!have_column_) return;
    if (have_block_ && column_.x0 == column_.x1 && column_.x0 > block_.x1 &&
        column_.x0 - block_.x1 <= point_pixels() &&
        column_.y0 == block_.y0 && column_.y1 == block_.y1) {
        block_.x1 = column_.x1;
    } else {
        if (have_block_) emit(block_);
        block_ = column_;
        have_block_ = true;
    }
    have_column_ = false;
}

void Gl_sink::clear_if_pending() {
    if (!clear_pending_) return;
    clear_pending_ = false;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Gl_sink::flush() {
    if (run_ == Run::dots) {
        settle_column();
        if (have_block_) emit(block_);
        have_block_ = false;
    }
    if (!positions_.empty()) {
        clear_if_pending();
        const GLsizei n = static_cast<GLsizei>(positions_.size() / 2);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, positions_.data());
        glColorPointer(3, GL_FLOAT, 0, colours_.data());
        if (run_ == Run::glyphs) {
            glyph_state();
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, texcoords_.data());
            // Glyphs lie at z 1 as the label routine places them.
            glPushMatrix();
            glTranslatef(0, 0, 1);
            glDrawArrays(GL_QUADS, 0, n);
            glPopMatrix();
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisable(GL_TEXTURE_2D);
        } else {
            glDrawArrays(run_ == Run::lines ? GL_LINES : GL_QUADS, 0, n);
        }
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        ++calls_;
        positions_.clear();
        colours_.clear();
        texcoords_.clear();
        // The current colour is undefined after drawing with a colour array.
        glColor3fv(colour_);
    }
    run_ = Run::none;
    repaint_.new_run();
}

void Gl_sink::begin_frame() {
    flush();
    dots_ = calls_ = 0;
    // The clear waits for the first drawing: a frame that begins with the
    // layer (which replaces every pixel) needs none.
    clear_pending_ = true;
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glScalef(1, 1, 1);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1);
}

void Gl_sink::end_frame() {
    flush();
    clear_if_pending();
    glPopMatrix();
    last_dots_ = dots_;
    last_calls_ = calls_;
    if (present_) present_();
}

void Gl_sink::set_projection(const View_projection& v) {
    flush();
    view_w_ = v.viewport_w;
    view_h_ = v.viewport_h;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, v.viewport_w, v.viewport_h);
    glOrtho(v.left, v.right, v.bottom, v.top, v.near_z, v.far_z);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(v.eye[0], v.eye[1], v.eye[2], v.centre[0], v.centre[1], v.centre[2], v.up[0],
              v.up[1], v.up[2]);
}

void Gl_sink::set_colour(float r, float g, float b) {
    colour_[0] = clamp_unit(r);
    colour_[1] = clamp_unit(g);
    colour_[2] = clamp_unit(b);
    if (!batched_) glColor3fv(colour_);
}

void Gl_sink::set_point_size(float size) {
    point_size_ = size;
    if (!batched_) glPointSize(size);
}

void Gl_sink::dot(float x, float y, float size, const float* rgb) {
    if (rgb) {
        colour_[0] = rgb[0];
        colour_[1] = rgb[1];
        colour_[2] = rgb[2];
    }
    point_size_ = size;
    if (!batched_) {
        glPointSize(size);
        if (rgb) glColor3fv(colour_);
    }
    point(x, y);
}

void Gl_sink::point(float x, float y) {
    ++dots_;
    if (!batched_) {
        clear_if_pending();
        glBegin(GL_POINTS);
        glVertex3f(x, y, 0);
        glEnd();
        ++calls_;
        return;
    }
    if (run_ != Run::dots || run_size_ != point_size_) flush();
    run_ = Run::dots;
    run_size_ = point_size_;
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    if (have_column_ && column_.same_colour(colour_)) {
        Span& c = column_;
        if (c.contains(ix, iy)) return;   // repainting the same pixels in the same colour
        // Dots at most a point's size apart touch or overlap: one quad.
        const int n = point_pixels();
        if (c.x0 == c.x1 && ix == c.x0 && iy > c.y1 && iy - c.y1 <= n) { c.y1 = iy; return; }
        if (c.x0 == c.x1 && ix == c.x0 && iy < c.y0 && c.y0 - iy <= n) { c.y0 = iy; return; }
        if (c.y0 == c.y1 && iy == c.y0 && ix > c.x1 && ix - c.x1 <= n) { c.x1 = ix; return; }
        if (c.y0 == c.y1 && iy == c.y0 && ix < c.x0 && c.x0 - ix <= n) { c.x0 = ix; return; }
    }
    settle_column();
    if (have_block_ && !block_.same_colour(colour_)) {
        emit(block_);
        have_block_ = false;
    }
    // The block is the last thing painted: a dot on it repaints the same
    // pixels in the same colour.
    if (have_block_ && block_.contains(ix, iy)) return;
    column_ = Span{ix, iy, ix, iy, {colour_[0], colour_[1], colour_[2]}};
    have_column_ = true;
}

void Gl_sink::add_segment(float x0, float y0, float x1, float y1) {
    const float xy[4] = {x0, y0, x1, y1};
    positions_.insert(positions_.end(), xy, xy + 4);
    colours_.insert(colours_.end(), colour_, colour_ + 3);
    colours_.insert(colours_.end(), colour_, colour_ + 3);
}

void Gl_sink::immediate(unsigned mode, const float* xy, int n) {
    clear_if_pending();
    glBegin(mode);
    for (int i = 0; i < n; ++i) glVertex3f(xy[2 * i], xy[2 * i + 1], 0);
    glEnd();
    ++calls_;
}

void Gl_sink::line_loop(const float* xy, int n) {
    if (!batched_) return immediate(GL_LINE_LOOP, xy, n);
    // A dashed loop is drawn as one: its dashes run on around its corners,
    // which they would not as separate segments (each starts the pattern
    // anew).
    if (stipple_on_) {
        flush();
        glDisable(GL_TEXTURE_2D);
        glColor3fv(colour_);
        return immediate(GL_LINE_LOOP, xy, n);
    }
    // A loop is its segments, the last one closing it; they light the
    // same pixels.
    start(Run::lines);
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        add_segment(xy[2 * i], xy[2 * i + 1], xy[2 * j], xy[2 * j + 1]);
    }
}

void Gl_sink::lines(const float* xy, int n) {
    if (!batched_) return immediate(GL_LINES, xy, n);
    start(Run::lines);
    for (int i = 0; i + 1 < n; i += 2) add_segment(xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3]);
}

void Gl_sink::set_line_stipple(bool on, int factor, uint16_t pattern) {
    flush();
    stipple_on_ = on;
    if (on) {
        glLineStipple(factor, pattern);
        glEnable(GL_LINE_STIPPLE);
    } else {
        glDisable(GL_LINE_STIPPLE);
    }
}

void Gl_sink::set_texturing(bool on) {
    // Batched runs set texturing themselves (on for glyphs, off otherwise).
    if (!batched_) {
        if (on)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
    }
}

uint32_t Gl_sink::make_texture(const uint8_t* luminance_alpha, int w, int h) {
    flush();
    if (!atlas.texture) create_atlas();
    if (atlas.shelf_x + w + 2 > Atlas::size) {   // next shelf
        atlas.shelf_y += atlas.shelf_h;
        atlas.shelf_x = 0;
        atlas.shelf_h = 0;
    }
    if (w + 2 > Atlas::size || atlas.shelf_y + h + 2 > Atlas::size) {
        if (!atlas.full_reported)
            std::fprintf(stderr, "label: the glyph atlas is full; further characters stay blank\n");
        atlas.full_reported = true;
        return 0;
    }
    const int x = atlas.shelf_x + 1, y = atlas.shelf_y + 1;
    glBindTexture(GL_TEXTURE_2D, atlas.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);   // rows are 2 * w bytes; w may be 1
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, luminance_alpha);
    atlas.shelf_x += w + 2;
    if (h + 2 > atlas.shelf_h) atlas.shelf_h = h + 2;
    const float s = Atlas::size;
    const float rect[4] = {static_cast<float>(x) / s, static_cast<float>(y) / s, static_cast<float>(x + w) / s,
                           static_cast<float>(y + h) / s};
    atlas.rects.insert(atlas.rects.end(), rect, rect + 4);
    return static_cast<uint32_t>(atlas.rects.size() / 4);
}

bool Gl_sink::led_block(const Led_block& b) {
    if (!batched_ || b.columns < 1 || b.rows < 1 || b.pitch < 1) return false;
    if (max_texture_ < 0) {
        // Textures of any size need GL 2.0 (or its extension for them).
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        const bool any_size = (version && version[0] >= '2' && version[1] == '.') ||
                              (ext && std::strstr(ext, "GL_ARB_texture_non_power_of_two"));
        GLint max = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
        max_texture_ = any_size ? max : 0;
    }
    if (b.columns > max_texture_ || b.rows > max_texture_) return false;
    flush();
    clear_if_pending();
    const size_t texels = static_cast<size_t>(b.columns) * static_cast<size_t>(b.rows);
    if (texels_.size() < 4 * texels) texels_.resize(4 * texels);
    uint8_t* out = texels_.data();
    long lit = 0;
    for (int y = 0; y < b.rows; ++y) {
        const uint8_t* row = b.codes + static_cast<long>(y) * b.stride;
        for (int x = 0; x < b.columns; ++x, out += 4) {
            std::memcpy(out, b.rgba[row[x]], 4);
            lit += out[3] != 0;
        }
    }
    if (!leds_texture_) {
        GLuint name = 0;
        glGenTextures(1, &name);
        leds_texture_ = name;
    }
    glBindTexture(GL_TEXTURE_2D, leds_texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (b.columns != leds_w_ || b.rows != leds_h_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, b.columns, b.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels_.data());
        leds_w_ = b.columns, leds_h_ = b.rows;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, b.columns, b.rows, GL_RGBA, GL_UNSIGNED_BYTE, texels_.data());
    }
    // The pixels the points would light (see emit): a point of even size p
    // centred on c covers c - p/2 .. c + p/2 - 1; one of odd size, c - p/2 ..
    // c + p/2 across and one row higher down.
    const int64_t p = b.pitch;
    const float l = static_cast<float>(b.left - p / 2), t = static_cast<float>(b.top - p / 2 - p % 2);
    const float r = l + static_cast<float>(p * b.columns), bottom = t + static_cast<float>(p * b.rows);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex3f(l, t, 0);
    glTexCoord2f(1, 0), glVertex3f(r, t, 0);
    glTexCoord2f(1, 1), glVertex3f(r, bottom, 0);
    glTexCoord2f(0, 1), glVertex3f(l, bottom, 0);
    glEnd();
    glDisable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_TEXTURE_2D);
    glColor3fv(colour_);
    dots_ += lit;
    ++calls_;
    return true;
}

void Gl_sink::glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) {
    const float* uv = atlas_rect(texture);
    if (!uv) return;   // a glyph FreeType could not make: nothing to see
    // Texture row 1 (the glyph's top) at y0.
    const float corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    const float coords[8] = {uv[0], uv[3], uv[2], uv[3], uv[2], uv[1], uv[0], uv[1]};
    if (!batched_) {
        clear_if_pending();
        glyph_state();
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(coords[2 * k], coords[2 * k + 1]);
            glVertex3f(corners[2 * k], corners[2 * k + 1], 1);
        }
        glEnd();
        ++calls_;
        return;
    }
    start(Run::glyphs);
    positions_.insert(positions_.end(), corners, corners + 8);
    texcoords_.insert(texcoords_.end(), coords, coords + 8);
    for (int k = 0; k < 4; ++k) colours_.insert(colours_.end(), colour_, colour_ + 3);
}

// [SECTION] Repaint filter

int Gl_sink::Repaint_filter::slot(const float* rgb) {
    for (int k = 0; k < colours_used; ++k)
        if (colours[k][0] == rgb[0] && colours[k][1] == rgb[1] && colours[k][2] == rgb[2]) return k;
    if (colours_used == colour_slots) return colour_slots;   // "other": unlike every colour
    colours[colours_used][0] = rgb[0];
    colours[colours_used][1] = rgb[1];
    colours[colours_used][2] = rgb[2];
    return colours_used++;
}

void Gl_sink::Repaint_filter::new_run() {
    ++generation;
    sequence = 0;
    colours_used = 0;
    entries_used = 0;
    off = false;
}

Gl_sink::Repaint_filter::Tile& Gl_sink::Repaint_filter::tile(int tx, int ty) {
    Tile& t = tiles[ty * tiles_across + tx];
    if (t.generation != generation) {
        t.generation = generation;
        for (uint32_t& last : t.last) last = 0;
    }
    return t;
}

bool Gl_sink::Repaint_filter::repeats(int l, int t, int r, int b, const float* rgb) {
    if (off) return false;
    if (table.empty()) {
        table.resize(table_size);
        tiles.resize(tiles_across * tiles_across);
    }
    const int c = slot(rgb);
    auto tile_of = [](int v) { return v < 0 ? 0 : v >= tiles_across * tile_pixels ? tiles_across - 1 : v / tile_pixels; };
    const int tx0 = tile_of(l), tx1 = tile_of(r - 1), ty0 = tile_of(t), ty1 = tile_of(b - 1);

    // The same quad in the same colour painted earlier in this run?
    const uint32_t h = (static_cast<uint32_t>(l) * 73856093u ^ static_cast<uint32_t>(t) * 19349663u ^
                        static_cast<uint32_t>(r) * 83492791u ^ static_cast<uint32_t>(b) * 2654435761u ^
                        static_cast<uint32_t>(c)) & (table_size - 1);
    Entry* found = nullptr;
    Entry* free_entry = nullptr;
    for (uint32_t k = 0; k < probe_limit; ++k) {
        Entry& e = table[(h + k) & (table_size - 1)];
        if (e.generation != generation) {
            free_entry = &e;
            break;
        }
        if (e.l == l && e.t == t && e.r == r && e.b == b && e.slot == c) {
            found = &e;
            break;
        }
    }
    if (found && c != colour_slots) {
        // Redundant when nothing of another colour touched its tiles since.
        bool covered = true;
        for (int ty = ty0; ty <= ty1 && covered; ++ty)
            for (int tx = tx0; tx <= tx1 && covered; ++tx) {
                const Tile& tl = tile(tx, ty);
                for (int s = 0; s <= colour_slots; ++s)
                    if (s != c && tl.last[s] > found->sequence) covered = false;
            }
        if (covered) return true;
    }

    ++sequence;
    for (int ty = ty0; ty <= ty1; ++ty)
        for (int tx = tx0; tx <= tx1; ++tx) tile(tx, ty).last[c] = sequence;
    Entry* e = found ? found : free_entry;
    if (!e || (!found && ++entries_used > table_size / 2)) {
        // Unrecorded quads would go unseen by later look-ups: stop here.
        off = true;
        return false;
    }
    *e = Entry{generation, sequence, l, t, r, b, c};
    return false;
}

bool Gl_sink::has_layer() const {
    return layer_enabled_ && !layer_failed_ && view_w_ > 0 && view_h_ > 0;
}

bool Gl_sink::ready_layer() {
    if (!has_layer()) return false;
    if (layer_fbo_ && layer_w_ == view_w_ && layer_h_ == view_h_) return true;
    if (!layer_fbo_) {
        // Framebuffer objects are core from GL 3.0; older GLs may lack them.
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        if (!version || version[0] < '3' || version[1] != '.') {
            std::fprintf(stderr, "render: GL %s has no framebuffer objects; every frame draws the whole scene\n",
                         version ? version : "(unknown)");
            layer_failed_ = true;
            return false;
        }
        glGenFramebuffers(1, &layer_fbo_);
        glGenRenderbuffers(1, &layer_colour_);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, layer_colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, view_w_, view_h_);
    glBindFramebuffer(GL_FRAMEBUFFER, layer_fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, layer_colour_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status == GL_FRAMEBUFFER_COMPLETE) {
        glClear(GL_COLOR_BUFFER_BIT);
    } else {
        std::fprintf(stderr, "render: the layer cannot be made (status 0x%x); every frame draws the whole scene\n",
                     status);
        layer_failed_ = true;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    layer_w_ = view_w_;
    layer_h_ = view_h_;
    return !layer_failed_;
}

void Gl_sink::begin_layer(int left, int top, int right, int bottom) {
    flush();
    clear_if_pending();   // the frame's own clear, before drawing leaves it
    if (!ready_layer()) return;
    glBindFramebuffer(GL_FRAMEBUFFER, layer_fbo_);
    // Window rows run down, GL's up.
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right >= view_w_) right = view_w_ - 1;
    if (bottom >= view_h_) bottom = view_h_ - 1;
    glEnable(GL_SCISSOR_TEST);
    if (right < left || bottom < top)
        glScissor(0, 0, 0, 0);
    else
        glScissor(left, view_h_ - 1 - bottom, right - left + 1, bottom - top + 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

void Gl_sink::end_layer() {
    flush();
    if (!layer_fbo_) return;
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void Gl_sink::show_layer() {
    flush();
    if (!ready_layer()) return;
    if (layer_w_ == view_w_ && layer_h_ == view_h_) clear_pending_ = false;   // every pixel is replaced
    glBindFramebuffer(GL_READ_FRAMEBUFFER, layer_fbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, layer_w_, layer_h_, 0, 0, layer_w_, layer_h_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    ++calls_;
}
