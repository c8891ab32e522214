// A card file that reaches up into controller/: the checker must refuse it.
#include "controller/live_send.h"
