#include "scene/status_line.h"

#include <cstdio>

#include "platform/platform.h"

void Status_line::set_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    platform_utf8_to_gbk(message_utf8, text_, sizeof text_);
    failure_shown_ = false;
}

void Status_line::set_failure(const char* message_utf8) {
    set_status(message_utf8);
    failure_shown_ = true;
}

void Status_line::note_status(const char* message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8);
    if (!failure_shown_) platform_utf8_to_gbk(message_utf8, text_, sizeof text_);
}

void Status_line::show_status(const char* message_utf8) {
    if (!failure_shown_) platform_utf8_to_gbk(message_utf8, text_, sizeof text_);
}
