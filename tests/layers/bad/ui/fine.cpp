// A ui file including render/ is fine.
#include "render/shapes.h"
