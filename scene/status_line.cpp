#include "scene/status_line.h"

#include <cstdio>

#include "platform/platform.h"

char status_text[status_text_size] = {};

void set_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

void show_status(const char* message_utf8) {
    platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

void reset_status() { status_text[0] = '\0'; }
