// The scene as one JSON object, for vantiro-cli and tests: the counters and
// settings, the 24 boards, the 40 texts, the 2,000 records of groups 0..19
// and the measured rectangles in use, with the field names of the records.
#pragma once

#include "scene/scene.h"

#include <string>

std::string scene_json(const Scene& scene);
