// The values the editor's main owns beside the scene and the input's state
// (app/main.cpp): the configuration, the program's paths, the text files,
// the card link, the frame's cache and the editor's requests over them
// (with the bitmap fonts of test_scene.h).
// The unit tests get one set, made afresh at the start of every test
// (test_main.cpp), and pass its parts in as the editor passes its own.
#pragma once

#include <string>

#include "app/config.h"
#include "app/frame.h"
#include "app/outputs.h"
#include "app/program_paths.h"
#include "app/startup.h"
#include "controller/script_writer.h"
#include "tests/unit/test_scene.h"

struct Test_app {
    Config config;
    Program_paths paths;
    Text_files texts;
    Card_link link;
    Frame_cache frame;
    Editor_requests requests{config, paths, texts, link, test_fonts()};
};

Test_app& test_app();

// Points paths at folder, a build tree's layout: the executable's folder,
// the scene folder and every data path in it. False, with the reason in
// *err, when a path would not fit.
bool use_folder(Program_paths& paths, const std::string& folder, std::string* err);
