// The page, its script and its style, compiled into the program: the card
// serves nothing from disk.
#pragma once

extern const char page_html[];
extern const char page_js[];
extern const char page_css[];
