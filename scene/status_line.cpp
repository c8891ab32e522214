#include "scene/status_line.h"

#include <cstdio>

#include "platform/platform.h"

char status_text[status_text_size] = {};

namespace {
bool failure_shown = false;
}

void set_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
    failure_shown = false;
}

void set_failure(const char* message_utf8) {
    set_status(message_utf8);
    failure_shown = true;
}

void note_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    if (!failure_shown) platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

void show_status(const char* message_utf8) {
    if (!failure_shown) platform_utf8_to_gbk(message_utf8, status_text, sizeof status_text);
}

bool status_is_failure() { return failure_shown; }

void reset_status() {
    status_text[0] = '\0';
    failure_shown = false;
}
