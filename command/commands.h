// The two commands of the command table and what they share.
#pragma once

#include <cstdint>

// led: text verbs (t, 12t, 16t, 24t, 32t) and the rectangle verb r create
// elements; clearall, txt, p, l, c, s and unknown verbs have no effect here.
int32_t led_command(int32_t type, int argc, char** argv, const char* payload);

// file: text verbs (t, 12t, 16t, 24t, 32t, Zimu) whose text is the payload.
int32_t file_command(int32_t type, int argc, char** argv, const char* payload);

// Window pixel of LED dot coordinate v on an axis whose board-0 origin is
// origin: (v * dot_pitch + origin) modulo 65,536.
uint32_t dot_to_pixel(uint32_t v, int32_t origin);

// Font height of a text verb ("t" and "16t" 16, "12t" 12, "24t" 24,
// "32t" 32), or 0 for any other word. Case matters.
int text_verb_height(const char* verb);

// Fills string_draw record text_count with a new text and advances
// text_count; false (with a diagnostic) when every record is taken.
bool add_text_element(int32_t type, int font_size, int32_t colour, uint32_t dot_x,
                      uint32_t dot_y, const char* bytes, int32_t length);
