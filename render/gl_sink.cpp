#include "render/gl_sink.h"

#include <GL/gl.h>
#include <GL/glu.h>

Gl_sink::Gl_sink(Present present, bool batched) : present_(present), batched_(batched) {
    positions_.reserve(2 * 65536);
    colours_.reserve(3 * 65536);
}

void Gl_sink::flush() {
    if (positions_.empty()) return;
    GLsizei n = static_cast<GLsizei>(positions_.size() / 2);
    glPointSize(run_size_);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, positions_.data());
    glColorPointer(3, GL_FLOAT, 0, colours_.data());
    glDrawArrays(GL_POINTS, 0, n);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    ++calls_;
    positions_.clear();
    colours_.clear();
    // The current colour is undefined after drawing with a colour array.
    glColor3fv(colour_);
    glPointSize(point_size_);
}

void Gl_sink::begin_frame() {
    flush();
    dots_ = calls_ = 0;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glScalef(1, 1, 1);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1);
}

void Gl_sink::end_frame() {
    flush();
    glPopMatrix();
    last_dots_ = dots_;
    last_calls_ = calls_;
    if (present_) present_();
}

void Gl_sink::set_projection(const View_projection& v) {
    flush();
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

void Gl_sink::point(float x, float y) {
    ++dots_;
    if (!batched_) {
        glBegin(GL_POINTS);
        glVertex3f(x, y, 0);
        glEnd();
        ++calls_;
        return;
    }
    if (!positions_.empty() && run_size_ != point_size_) flush();
    run_size_ = point_size_;
    positions_.push_back(x);
    positions_.push_back(y);
    colours_.insert(colours_.end(), colour_, colour_ + 3);
}

void Gl_sink::line_loop(const float* xy, int n) {
    flush();
    glColor3fv(colour_);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < n; ++i) glVertex3f(xy[2 * i], xy[2 * i + 1], 0);
    glEnd();
    ++calls_;
}

void Gl_sink::set_line_stipple(bool on, int factor, uint16_t pattern) {
    flush();
    if (on) {
        glLineStipple(factor, pattern);
        glEnable(GL_LINE_STIPPLE);
    } else {
        glDisable(GL_LINE_STIPPLE);
    }
}

void Gl_sink::set_texturing(bool on) {
    flush();
    if (on)
        glEnable(GL_TEXTURE_2D);
    else
        glDisable(GL_TEXTURE_2D);
}

void Gl_sink::lines(const float* xy, int n) {
    flush();
    glColor3fv(colour_);
    glBegin(GL_LINES);
    for (int i = 0; i < n; ++i) glVertex3f(xy[2 * i], xy[2 * i + 1], 0);
    glEnd();
    ++calls_;
}

uint32_t Gl_sink::make_texture(const uint8_t* luminance_alpha, int w, int h) {
    flush();
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Rows are 2 * w bytes; w may be 1, so rows are not 4-byte aligned.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                 luminance_alpha);
    return name;
}

void Gl_sink::glyph_quad(uint32_t texture, float x0, float y0, float x1, float y1) {
    flush();
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3fv(colour_);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex3f(x0, y0, 1);
    glTexCoord2f(1, 1);
    glVertex3f(x1, y0, 1);
    glTexCoord2f(1, 0);
    glVertex3f(x1, y1, 1);
    glTexCoord2f(0, 0);
    glVertex3f(x0, y1, 1);
    glEnd();
    ++calls_;
}
