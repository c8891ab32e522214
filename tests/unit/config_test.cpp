// Configuration: private-profile reading and the leading-decimal conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/config.h"
#include "platform/platform.h"
#include "tests/unit/temp_dir.h"

namespace {

std::string read_key(const std::string& path, const char* section, const char* key) {
    char out[config_text_size];
    platform_read_profile_string(section, key, "Error", out, sizeof out, path.c_str());
    return out;
}

TEST(Profile, MissingFileSectionOrKeyGivesDefault) {
    Temp_dir dir;
    std::string path = dir.write("SysCfg.ini", "[LEDPARA]\nWIDTH=64\n");
    EXPECT_EQ(read_key(dir.path() + "/absent.ini", "LEDPARA", "WIDTH"), "Error");
    EXPECT_EQ(read_key(path, "NetSyc", "WIDTH"), "Error");
    EXPECT_EQ(read_key(path, "LEDPARA", "HEIGHT"), "Error");
    EXPECT_EQ(read_key(path, "LEDPARA", "WIDTH"), "64");
}

TEST(Profile, NamesAreCaseBlindAndBlanksTrimmed) {
    Temp_dir dir;
    std::string path = dir.write("SysCfg.ini",
                                 "[ledpara]\r\n  width =   128  \r\n\tHEIGHT\t=\t32\t\r\n"
                                 "[RemotIP]\nremotip = \"10.0.0.7\"\n");
    EXPECT_EQ(read_key(path, "LEDPARA", "WIDTH"), "128");
    // An indented key is an ordinary key, not a continuation of the one before.
    EXPECT_EQ(read_key(path, "LedPara", "height"), "32");
    EXPECT_EQ(read_key(path, "RemotIP", "RemotIP"), "10.0.0.7");
}

TEST(Profile, FirstOccurrenceWinsAndCommentsAreSkipped) {
    Temp_dir dir;
    std::string path = dir.write("SysCfg.ini",
                                 "; a comment\n[NetSyc]\n# another\nSyc_Enable=1\n"
                                 "Syc_Enable=0\n[NetSyc]\nSyc_Enable=2\n");
    EXPECT_EQ(read_key(path, "NetSyc", "Syc_Enable"), "1");
}

TEST(Profile, LongValueIsCutToTheBufferAndReported) {
    Temp_dir dir;
    std::string value(150, '7');
    std::string path = dir.write("SysCfg.ini", "[RemotIP]\nRemotIP=" + value + "\nNext=1\n");
    char out[16];
    bool cut = false;
    size_t n = platform_read_profile_string("RemotIP", "RemotIP", "Error", out, sizeof out,
                                            path.c_str(), &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(n, 15u);
    EXPECT_EQ(std::string(out), value.substr(0, 15));
    // The long line did not spill into a bogus entry; the next key still reads.
    EXPECT_EQ(read_key(path, "RemotIP", "Next"), "1");
}

TEST(LeadingDecimal, ReadsDigitsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(leading_decimal("64"), 64);
    EXPECT_EQ(leading_decimal("12abc"), 12);
    EXPECT_EQ(leading_decimal("  -7x"), -7);
    EXPECT_EQ(leading_decimal("+5"), 5);
    EXPECT_EQ(leading_decimal("Error"), 0);
    EXPECT_EQ(leading_decimal(""), 0);
    EXPECT_EQ(leading_decimal("- 3"), 0);
    EXPECT_EQ(leading_decimal("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(leading_decimal("-99999999999999999999"), INT32_MIN);
}

TEST(Config, ReadsTheFourKeys) {
    Temp_dir dir;
    std::string path = dir.write("SysCfg.ini",
                                 "[RemotIP]\nRemotIP=192.0.2.1\n[LEDPARA]\nWIDTH=64\nHEIGHT=32\n"
                                 "[NetSyc]\nSyc_Enable=1\n");
    clear_config();
    read_config(path.c_str());
    EXPECT_STREQ(remote_ip, "192.0.2.1");
    EXPECT_STREQ(config_width, "64");
    EXPECT_STREQ(config_height, "32");
    EXPECT_EQ(sync_enabled, 1);

    read_config((dir.path() + "/absent.ini").c_str());
    EXPECT_STREQ(remote_ip, "Error");
    EXPECT_EQ(sync_enabled, 0);
}

}  // namespace
