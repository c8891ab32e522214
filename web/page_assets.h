// The page, its script and its style, compiled into the program: the card
// serves nothing from disk.
#pragma once

extern const char* const page_html;
extern const char* const page_js;
extern const char* const page_css;
