#include "render/dot_sink.h"

View_projection view_projection(int width, int height) {
    if (height == 0) height = 1;
    View_projection v{};
    v.viewport_w = width;
    v.viewport_h = height;
    v.left = 0;
    v.right = width;
    v.bottom = height;   // bottom below top: y grows downwards
    v.top = 0;
    v.near_z = -100;
    v.far_z = 200;
    v.eye[0] = 0, v.eye[1] = 0, v.eye[2] = 30;
    v.centre[0] = 0, v.centre[1] = 0, v.centre[2] = 10;
    v.up[0] = 0, v.up[1] = 1, v.up[2] = 0;
    return v;
}
