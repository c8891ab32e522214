// Planted: the card library reaching up to the web page.
#include "web/live_page.h"
