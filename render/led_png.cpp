#include "render/led_png.h"

#include <png.h>

#include <vector>

#include "platform/platform.h"

namespace {

// Colours of the picture: LED codes 0 red, 1 green, 2 yellow; an unlit
// LED is a dim square, the ground between LEDs black.
const uint8_t lit_rgb[3][3] = {{255, 32, 32}, {32, 255, 64}, {255, 224, 32}};
const uint8_t unlit_rgb[3] = {40, 40, 40};
const uint8_t ground_rgb[3] = {0, 0, 0};

void append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void flush(png_structp) {}

}  // namespace

bool led_png_size_ok(long width, long height, std::string* err) {
    if (width > 0 && height > 0 && width <= max_png_leds / height) return true;
    if (err)
        *err = "png: a picture of " + std::to_string(width) + " x " + std::to_string(height) +
               " LEDs is beyond the " + std::to_string(max_png_leds) + " LEDs (2048 x 2048) a picture may have";
    return false;
}

bool write_led_png(const Led_framebuffer& screen, const char* path, std::string* err) {
    std::vector<uint8_t> bytes;
    if (!encode_led_png(screen, &bytes, err)) {
        *err += std::string(" (") + path + ")";
        return false;
    }
    if (!platform_write_file_atomic(path, bytes.data(), bytes.size(), err)) {
        *err = "png: " + *err;
        return false;
    }
    return true;
}

bool encode_led_png(const Led_framebuffer& screen, std::vector<uint8_t>* out, std::string* err) {
    const int w = screen.width(), h = screen.height();
    if (w <= 0 || h <= 0) {
        *err = "png: the screen has no LEDs";
        return false;
    }
    if (!led_png_size_ok(w, h, err)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *err = "png: out of memory";
        return false;
    }
    std::vector<uint8_t>& bytes = *out;
    bytes.clear();
    std::vector<uint8_t> row(static_cast<size_t>(w) * led_png_cell * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *err = "png: cannot encode the picture";
        return false;
    }
    png_set_write_fn(png, &bytes, append, flush);
    // Fixed settings, no time stamp: the same LEDs give the same bytes.
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w) * led_png_cell,
                 static_cast<png_uint_32>(h) * led_png_cell, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        for (int sub = 0; sub < led_png_cell; ++sub) {
            uint8_t* px = row.data();
            for (int x = 0; x < w; ++x) {
                const uint8_t code = screen.at(x, y);
                const uint8_t* led = code <= 2 ? lit_rgb[code] : unlit_rgb;
                for (int k = 0; k < led_png_cell; ++k, px += 3) {
                    // The last row and column of each cell are the ground.
                    const uint8_t* c = (sub == led_png_cell - 1 || k == led_png_cell - 1) ? ground_rgb : led;
                    px[0] = c[0], px[1] = c[1], px[2] = c[2];
                }
            }
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
