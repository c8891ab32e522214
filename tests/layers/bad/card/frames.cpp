// A card file using csdk/'s frame format is fine.
#include "csdk/card_frame.h"
