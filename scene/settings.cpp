#include "scene/settings.h"

#include <cstdio>

#include "platform/platform.h"

int32_t brightness_level = 8;
uint8_t panel_type = 0;
char status_text[status_text_size] = {};

void set_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

void show_status(const char* message_utf8) {
    platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

void reset_settings() {
    brightness_level = 8;
    panel_type = 0;
    status_text[0] = '\0';
}
