// A render file that reaches up into ui/: the checker must refuse it.
#include "ui/menus.h"
