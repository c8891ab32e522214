// The card program may include the web page, which sits below it.
#include "web/live_page.h"
