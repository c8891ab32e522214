// Configuration: private-profile reading and the leading-decimal conversion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "app/config.h"
#include "scene/status_line.h"
#include "platform/platform.h"
#include "tests/unit/temp_dir.h"
#include "tests/unit/test_app.h"
#include "tests/unit/test_scene.h"

namespace {

using std::make_tuple;

std::string read_key(const std::string& path, const char* section, const char* key) {
    char out[config_text_size];
    platform_read_profile_string(section, key, "Error", out, sizeof out, path.c_str());
    return out;
}

// Names are case-blind, blanks and quotes trimmed, the first wins; anything missing gives the default.
TEST(Profile, ReadsKeysByTheProfileRules) {
    Temp_dir dir;
    const std::string path = dir.write("SysCfg.ini",
                                       "; a comment\n[ledpara]\r\n  width =   128  \r\n\tHEIGHT\t=\t32\t\r\n"
                                       "[RemotIP]\nremotip = \"10.0.0.7\"\n"
                                       "[NetSyc]\n# another\nSyc_Enable=1\nSyc_Enable=0\n[NetSyc]\nSyc_Enable=2\n");
    // Lines longer than any fixed buffer: a padded value, a long section name, a long value before a key.
    const std::string huge(5000, 'S');
    const std::string long_lines = dir.write("long.ini", "[LEDPARA]\nWIDTH=" + std::string(300, ' ') + "64\n[" +
                                                             huge + "]\nHEIGHT=99\n[NetSyc]\nNote=" + huge +
                                                             "\nSyc_Enable=1\n");
    const struct { std::string path; const char *section, *key; std::string want; } cases[] = {
        {path, "LEDPARA", "WIDTH", "128"},
        {path, "LedPara", "height", "32"},   // an indented key is not a continuation
        {path, "RemotIP", "RemotIP", "10.0.0.7"},
        {path, "NetSyc", "Syc_Enable", "1"},
        {path, "NetSyc", "WIDTH", "Error"},
        {path, "LEDPARA", "DEPTH", "Error"},
        {path, "Absent", "WIDTH", "Error"},
        {dir.path() + "/absent.ini", "LEDPARA", "WIDTH", "Error"},
        {dir.path(), "LEDPARA", "WIDTH", "Error"},   // a folder
        {long_lines, "LEDPARA", "WIDTH", "64"},
        {long_lines, "LEDPARA", "HEIGHT", "Error"},
        {long_lines, huge.c_str(), "height", "99"},
        {long_lines, "NetSyc", "Note", huge.substr(0, config_text_size - 1)},
        {long_lines, "NetSyc", "Syc_Enable", "1"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_key(c.path, c.section, c.key), c.want) << c.section << "/" << c.key;
}

// A long value is cut to the buffer and reported, and does not spill into a bogus entry.
TEST(Profile, LongValueIsCutToTheBufferAndReported) {
    Temp_dir dir;
    std::string value(150, '7');
    std::string path = dir.write("SysCfg.ini", "[RemotIP]\nRemotIP=" + value + "\nNext=1\n");
    char out[16];
    bool cut = false;
    size_t n = platform_read_profile_string("RemotIP", "RemotIP", "Error", out, sizeof out,
                                            path.c_str(), &cut);
    EXPECT_EQ(make_tuple(cut, n, std::string(out)), make_tuple(true, 15u, value.substr(0, 15)));
    EXPECT_EQ(read_key(path, "RemotIP", "Next"), "1");
}

// Leading decimals read up to the first other character, saturating at 32 bits.
TEST(LeadingDecimal, ReadsDigitsUpToTheFirstOtherCharacter) {
    const struct { const char* text; int32_t want; } cases[] = {
        {"64", 64}, {"12abc", 12}, {"  -7x", -7}, {"+5", 5}, {"Error", 0}, {"", 0}, {"- 3", 0},
        {"99999999999999999999", INT32_MAX}, {"-99999999999999999999", INT32_MIN}};
    for (const auto& c : cases) EXPECT_EQ(leading_decimal(c.text), c.want) << '"' << c.text << '"';
}

// The configuration's four keys are read, and defaults stand in for a missing file.
TEST(Config, ReadsTheFourKeys) {
    Test_app& app = test_app();
    Temp_dir dir;
    std::string path = dir.write("SysCfg.ini",
                                 "[RemotIP]\nRemotIP=192.0.2.1\n[LEDPARA]\nWIDTH=64\nHEIGHT=32\n"
                                 "[NetSyc]\nSyc_Enable=1\n");
    read_config(path.c_str(), &app.config, test_ui().status);
    using S = std::string;
    EXPECT_EQ(make_tuple(S(app.config.remote_ip), S(app.config.width), S(app.config.height), int(app.config.sync_enabled)),
              make_tuple("192.0.2.1", "64", "32", 1));
    read_config((dir.path() + "/absent.ini").c_str(), &app.config, test_ui().status);
    EXPECT_EQ(make_tuple(S(app.config.remote_ip), int(app.config.sync_enabled)), make_tuple("Error", 0));

    // A 1 GiB file (sparse, its keys at the start) is not scanned: defaults, and said.
    path = dir.write("SysCfg.ini", "[NetSyc]\nSyc_Enable=1\n");
    ASSERT_EQ(truncate(path.c_str(), off_t{1} << 30), 0);
    testing::internal::CaptureStderr();
    read_config(path.c_str(), &app.config, test_ui().status);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is over 64 KiB: it is not read"), std::string::npos);
    EXPECT_EQ(app.config.sync_enabled, 0);

    // Board sizes are held to 0..65535, and said so.
    path = dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=70000\nHEIGHT=-2147483647\n");
    testing::internal::CaptureStderr();
    read_config(path.c_str(), &app.config, test_ui().status);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(make_tuple(S(app.config.width), S(app.config.height)), make_tuple("65535", "0"));
    EXPECT_NE(said.find("config: " + path + ": [LEDPARA] WIDTH 70000 is outside 0..65535; 65535 is used"),
              std::string::npos) << said;
    EXPECT_NE(said.find("[LEDPARA] HEIGHT -2147483647 is outside 0..65535; 0 is used"), std::string::npos) << said;
}

// [Cards]: name=address lines in file order, blanks trimmed, the section
// name case-blind; comments, lines without '=', other sections, a repeated
// name and an overlong name are left out (the last two said).
TEST(Config, ReadsTheCards) {
    Test_app& app = test_app();
    Temp_dir dir;
    const std::string path = dir.write("SysCfg.ini",
                                       "[RemotIP]\nRemotIP=10.0.0.1\nnot=a card\n[cards]\r\n east = 10.0.0.2:1002 \r\n"
                                       "; west=10.0.0.9\nno equals sign\nwest=10.0.0.3\nEAST=10.0.0.4\n" +
                                           std::string(card_name_size, 'n') + "=10.0.0.5\n[Other]\nnorth=10.0.0.6\n"
                                           "[Cards]\nsouth=10.0.0.7");
    testing::internal::CaptureStderr();
    read_config(path.c_str(), &app.config, test_ui().status);
    const std::string said = testing::internal::GetCapturedStderr();
    std::vector<std::string> got;
    for (int i = 0; i < app.config.card_count; ++i)
        got.push_back(std::string(app.config.cards[i].name) + "=" + app.config.cards[i].address);
    EXPECT_EQ(got, (std::vector<std::string>{"east=10.0.0.2:1002", "west=10.0.0.3", "south=10.0.0.7"}));
    EXPECT_NE(said.find("[Cards] EAST: the name is taken by an earlier line; not used"), std::string::npos) << said;
    EXPECT_NE(said.find("its name is empty or too long"), std::string::npos) << said;
    EXPECT_EQ(std::string(app.config.remote_ip), "10.0.0.1");
    // No [Cards]: no cards (one card, RemotIP's, as ever).
    read_config(dir.write("SysCfg.ini", "[RemotIP]\nRemotIP=10.0.0.1\n").c_str(), &app.config, test_ui().status);
    EXPECT_EQ(app.config.card_count, 0);
}

}  // namespace
