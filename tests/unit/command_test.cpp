// The command language: splitting, the number reader, the led and file
// commands, and the replay of stored scripts from flash images.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "app/scene_json.h"
#include "command/commands.h"
#include "command/interpreter.h"
#include "command/command_value.h"
#include "command/flash_image.h"
#include "command/replay.h"
#include "scene/pools.h"
#include "scene/view_state.h"
#include "tests/unit/temp_dir.h"
#include "ui/menus.h"

#include "tests/unit/test_scene.h"

// The scene under test (reset before every test).
static Scene& scene = test_scene();

namespace {

using std::make_tuple;

// What the recording command saw.
struct Call {
    int32_t type;
    int argc;
    std::vector<std::string> argv;
    std::string payload;
};
std::vector<Call> calls;

void record(void*, int32_t type, int argc, char** argv, const char* payload) {
    Call c{type, argc, {}, payload ? payload : ""};
    for (int i = 0; i < max_arguments; ++i) c.argv.push_back(argv[i]);
    calls.push_back(c);
}

class Command_test : public ::testing::Test {
protected:
    void SetUp() override {
        build_layout(scene);
        command_row spy = {"SPY", "spy", record};
        interpreter.table[2] = spy;
        calls.clear();
    }

    void run(const std::string& line, int32_t type = 0, const char* payload = "") {
        std::vector<char> buf(line.begin(), line.end());
        buf.push_back('\0');
        interpreter.run_command_line(type, buf.data(), payload);
    }

    // The replay's interpreter, editing the test scene, with a spy command.
    Status_line status;
    Scene_edit edit{scene, status};
    Command_interpreter interpreter = scene_interpreter(edit);

    // Diagnostics printed since the last call.
    std::string printed() { return diag.take(); }

    Diag_capture diag;
};

// Lines split at blanks only, the word case-blind, missing arguments empty; bad or overlong lines are refused.
TEST_F(Command_test, LinesSplitAtBlanksOnlyAndBadLinesAreRejected) {
    run("spy 32t 1 10 20 Hi");
    run("SPY   t  1 2 3 x   ");   // any blanks, no empty last token
    run("Spy a\tb c\r", 7, "pay");
    run("spy");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(make_tuple(calls[0].argc, calls[0].argv[0], calls[0].argv[4]), make_tuple(5, "32t", "Hi"));
    EXPECT_EQ(make_tuple(calls[1].argc, calls[1].argv[0], calls[1].argv[4]), make_tuple(5, "t", "x"));
    EXPECT_EQ(make_tuple(calls[2].argv[0], calls[2].argv[1], calls[2].type, calls[2].payload),
              make_tuple("a\tb", "c\r", 7, "pay"));
    EXPECT_EQ(calls[3].argc, 0);
    for (const std::string& a : calls[3].argv) EXPECT_EQ(a, "");   // not left over from the line before

    calls.clear();
    const struct { const char* line; const char* want; } unknown[] = {
        {"ledx 1 2", "Error command! Unknown command word 'ledx'\n"},
        {"H", "Error command! Unknown command word 'H'\n"},
        {"h", "Error command! Unknown command word 'h'\n"},
        {"", "Error command! No command word at the start of the line\n"},
        {" led t 1 2 3 x", "Error command! No command word at the start of the line\n"}};
    for (const auto& u : unknown) {
        run(u.line);
        EXPECT_EQ(printed(), u.want) << u.line;
    }
    std::string many = "spy";
    for (int i = 0; i < 18; ++i) many += " a";
    run(many + " a");
    EXPECT_NE(printed().find("More than 18"), std::string::npos);
    run("spy " + std::string(256, 'x'));
    EXPECT_NE(printed().find("longer than 255"), std::string::npos);
    EXPECT_TRUE(calls.empty());
    run(many + " ");
    run("spy " + std::string(255, 'x'));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].argc, 18);
}

// The one tokenizer, with both sets of limits: the interpreter's refuses a
// line with too many or too long tokens; the card model's keeps tokens of any
// length and drops the ones after its first max_tokens.
TEST(SplitTokens, RefusesOrDropsExtraTokensAndTakesLongOnesWhenAsked) {
    const std::string long_token(600, 'x');
    std::string text = "  led " + long_token;
    for (int i = 0; i < 30; ++i) text += "  a" + std::to_string(i);
    text += "  ";
    char* tokens[32] = {};

    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    const int n = split_tokens(line.data(), tokens, 24, any_token_length, Extra_tokens::drop);
    ASSERT_EQ(n, 24);
    EXPECT_STREQ(tokens[0], "led");
    EXPECT_EQ(std::string(tokens[1]), long_token);
    EXPECT_STREQ(tokens[2], "a0");
    EXPECT_STREQ(tokens[23], "a21");

    // The same line with the interpreter's limits: refused, for the length
    // and (with a short token) for the count.
    line.assign(text.begin(), text.end());
    line.push_back('\0');
    EXPECT_EQ(split_tokens(line.data(), tokens, 30), -1);
    std::string short_text = "led x";
    for (int i = 0; i < 30; ++i) short_text += " a";
    line.assign(short_text.begin(), short_text.end());
    line.push_back('\0');
    EXPECT_EQ(split_tokens(line.data(), tokens, 24), -1);
    line.assign(short_text.begin(), short_text.end());
    line.push_back('\0');
    EXPECT_EQ(split_tokens(line.data(), tokens, 24, max_token, Extra_tokens::drop), 24);
    line.assign(short_text.begin(), short_text.end());
    line.push_back('\0');
    EXPECT_EQ(split_tokens(line.data(), tokens, 32), 32);   // "led", "x" and 30 "a"
    EXPECT_STREQ(tokens[31], "a");
}

// Numbers are decimal or 0x hex, odd digits counting on, modulo 2^32.
TEST(ParseValue, DecimalHexAndOddDigits) {
    const struct { const char* text; uint32_t want; } cases[] = {
        {"25", 25},  {"0x1F", 31}, {"0X1f", 31}, {"-3", 3},        {"1a", 20},
        {"12t", 120}, {"", 0},     {"0x", 0},    {"4294967296", 0}, {"0x1FFFFFFFF", 0xFFFFFFFF}};
    for (const auto& c : cases) EXPECT_EQ(parse_value(c.text), c.want) << '"' << c.text << '"';
    EXPECT_EQ(parse_value(nullptr), 0u);
}

// Text verbs make an inline text in the first free text record (5 on),
// at board 0's corner + pitch x dots (mod 2^16), its slot the line's type.
TEST_F(Command_test, TextVerbsCreateTextsByThePixelRule) {
    const struct { const char* line; int32_t type; const char* payload; uint32_t x, y; int font, colour;
                   const char* text; } cases[] = {
        {"led 16t 1 10 5 Hello", 42, "", 296, 236, 16, 1, "Hello"},   // ended after its own bytes
        {"led t 0 0 0 A", 0, "", 276, 226, 16, 0, "A"},               // t is 16t
        {"led 32t 0 40000 0 Z", 0, "", (40000 * 2 + 276) % 65536, 226, 32, 0, "Z"},
        {"led t 5", 0, "", 276, 226, 16, 5, ""},                      // missing: board corner, empty text
        {"file 16t 1 10 5", 3, "Hello world", 296, 236, 16, 1, "Hello world"},
        {"FILE 12t 2 0 0", 0, "\xB0\xA1", 276, 226, 12, 2, "\xB0\xA1"},
        {"file Zimu 99 0x20 1 2 99 99 99 300", 0, "z", 278, 230, 44, 2, "z"},   // colour bits 4-7, height mod 256
        {"file t 0 0 0", 0, "", 276, 226, 16, 0, ""},
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const auto& c = cases[i];
        run(c.line, c.type, c.payload);
        ASSERT_EQ(scene.text_count, i + 6) << c.line;
        const string_draw& s = scene.string_draws[i + 5];
        EXPECT_EQ(make_tuple(s.x, s.y, int(s.font_size), s.colour, s.slot, s.length, int(s.enabled), int(s.text_source)),
                  make_tuple(c.x, c.y, c.font, c.colour, c.type, int(std::strlen(c.text)), 1, 0)) << c.line;
        EXPECT_STREQ(s.text, c.text) << c.line;
    }
}

// Other verbs and unknown file verbs (the Zimu word is case-sensitive) change nothing.
TEST_F(Command_test, OtherVerbsChangeNothing) {
    const std::string before = scene_json(scene);
    for (const char* line : {"led clearall", "led p 1 2 3", "led l 1 0 0 9 0", "led c 1 5 5 3", "led s",
                             "led 20t 1 2 3 X", "led 32T 1 2 3 X", "led txt 1 2 3 4 5 6 20",
                             "file ZIMU 1 0x20 0 0 0 0 0 300", "file read_raw 0x10000 512"})
        run(line, 0, "x");
    EXPECT_EQ(scene_json(scene), before);
}

// "led r" adds a rectangle to group 1's first free record with wrapped
// sizes, its id its index + 9, never over a placed one; full pools refuse.
TEST_F(Command_test, LedRectanglesGoToGroupOneAndPoolsStopWhenFull) {
    auto place = [](Digit_unit& d) { d.x = 300, d.y = 300; };   // dragged off the palette: in use
    for (int i = 1; i <= 3; ++i) place(scene.digit_at(1, i));
    scene.rect_count = 3;
    const struct { const char* line; uint32_t x, y; int width, height, colour; } cases[] = {
        {"led r 0 2 3 12 8", 280, 232, 10, 5, 0},
        {"led r 0x1 0x0 0x0 0xA 0xA", 276, 226, 10, 10, 1},
        {"led r 0 10 0 4 0", 296, 226, 65536 - 6, 0, 0},   // a negative difference wraps
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const auto& c = cases[i];
        run(c.line);
        ASSERT_EQ(scene.rect_count, 4 + i) << c.line;
        const Digit_unit& d = scene.digit_at(1, 4 + i);
        EXPECT_EQ(d.id, 13 + i) << c.line;
        EXPECT_EQ(make_tuple(d.x, d.y, d.width, d.height, int(d.colour), int(d.kind), int(d.enabled)),
                  make_tuple(c.x, c.y, c.width, c.height, c.colour, int(kind_rect), 1)) << c.line;
    }
    for (int i = 7; i <= 98; ++i) place(scene.digit_at(1, i));
    scene.rect_count = 98;
    run("led r 0 1 1 2 2");   // index 99, the group's last free record
    EXPECT_EQ(scene.rect_count, 99);
    EXPECT_EQ(scene.digit_at(1, 99).kind, kind_rect);
    run("led r 0 1 1 3 3");   // index 100 would pass the group
    EXPECT_EQ(scene.rect_count, 99);
    EXPECT_NE(printed().find("group 1 is full"), std::string::npos);

    for (int i = 5; i < 39; ++i) std::snprintf(scene.string_draws[i].text, 8, "used");   // in use
    scene.text_count = 39;
    run("led t 1 1 1 last");
    EXPECT_EQ(scene.text_count, 40);
    run("led t 1 1 1 more");
    run("file t 1 1 1", 0, "more");
    EXPECT_EQ(scene.text_count, 40);
    EXPECT_NE(printed().find("all 40 text elements are in use"), std::string::npos);
}

struct Entry {
    uint32_t type, enabled, address;
    int32_t size;
    std::string data;
};

// A flash image of size bytes with a header of the given entries (count
// overrides their number when given) and their data.
std::string image(const std::vector<Entry>& entries, size_t size = 0x13000, int64_t count = -1) {
    std::string img(size, '\0');
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            if (at + i < img.size()) img[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0x10000, count >= 0 ? static_cast<uint32_t>(count) : static_cast<uint32_t>(entries.size()));
    for (size_t k = 0; k < entries.size(); ++k) {
        const Entry& e = entries[k];
        const size_t at = 0x10008 + 48 * k;
        put(at, e.type);
        put(at + 4, e.enabled);
        put(at + 36, e.address);
        put(at + 40, static_cast<uint32_t>(e.size));
        for (size_t i = 0; i < e.data.size() && e.address + i < img.size(); ++i) img[e.address + i] = e.data[i];
    }
    return img;
}

class Replay_test : public Command_test {
protected:
    std::string replay(const std::string& bytes) {
        path = dir.write("spi_data.bin", bytes);
        printed();
        replay_stored_script(scene, status, path.c_str());
        return printed();
    }
    Temp_dir dir;
    std::string path;
};

// An erased image gets the default header written (10 disabled entries) and replays nothing.
TEST_F(Replay_test, DefaultHeaderForAnErasedImage) {
    std::string erased(0x13000, '\0');
    for (size_t i = 0x10000; i < erased.size(); ++i) erased[i] = '\xFF';
    const std::string before = scene_json(scene);
    EXPECT_EQ(replay(erased), "");
    EXPECT_EQ(scene_json(scene), before);
    std::ifstream in(path, std::ios::binary);
    std::string now((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(now.size(), 0x13000u);
    uint8_t want[default_header_size];
    default_command_header(want);
    EXPECT_EQ(now.substr(0x10000, default_header_size),
              std::string(reinterpret_cast<char*>(want), default_header_size));
    // Count 10, then the entries: type k, disabled, data at 0x12000 + 0x40 k, 64 bytes.
    const uint8_t* last = want + 8 + 48 * 9;
    EXPECT_EQ(make_tuple(want[0], last[0], last[4], last[36] | last[37] << 8 | last[38] << 16, last[40]),
              make_tuple(10, 9, 0, 0x12240, 0x40));
    EXPECT_EQ(now.substr(0x10000 + default_header_size, 4), "\xFF\xFF\xFF\xFF");
}

// Enabled entries of 1..512 bytes run as lines, the payload after the first line feed.
TEST_F(Replay_test, EntriesCreateTextsAndRectangles) {
    EXPECT_EQ(replay(image({})), "cmd count is 0\nSize of Cmd Header allocated 8\r\nCmdEntryCount is 0\r\n");
    EXPECT_EQ(scene.texts_made, 0);
    set_dot_pitch(scene, 3);   // places worked out at pitch 3 are kept with it, so no later step moves them
    const std::string out = replay(image({
        {7, 1, 0x12000, 27, "file 16t 1 10 5\nHello world"},
        {8, 1, 0x12100, 17, "led r 0 2 3 12 8\n"},
        {9, 0, 0x12200, 17, "led t 1 0 0 Skip\n"},
        {10, 1, 0x12300, 0, "led t 1 0 0 Zero\n"},
        {11, 1, 0x12400, 513, std::string(513, 'x')},
        {12, 1, 0x12800, 512, "led t 2 0 0 Big\n" + std::string(495, 'y')},
        {13, 1, 0x12C00, 14, "\nled t 1 0 0 X"},
    }));
    ASSERT_EQ(make_tuple(scene.text_count, scene.texts_made), make_tuple(7, 2));   // records 5 and 6
    EXPECT_EQ(make_tuple(std::string(scene.string_draws[5].text), scene.string_draws[5].slot), make_tuple("Hello world", 7));
    EXPECT_EQ(make_tuple(std::string(scene.string_draws[6].text), scene.string_draws[6].slot), make_tuple("Big", 12));
    EXPECT_EQ(scene.rect_count, 1);
    EXPECT_EQ(scene.digit_at(1, 1).kind, kind_rect);
    EXPECT_EQ(make_tuple(scene.string_draws[5].pitch, int(scene.digit_at(1, 1).pitch)), make_tuple(3, 3));
    EXPECT_NE(out.find("Invalid CmdDataSize for type b\n"), std::string::npos);
    EXPECT_NE(out.find("Error command! No command word at the start of the line\n"), std::string::npos);
    EXPECT_EQ(out.find("type 9"), std::string::npos);   // disabled: not even named
    EXPECT_EQ(out.find("type a"), std::string::npos);   // size 0: skipped silently
}

// Missing, irregular or short images and data past the end are never read.
TEST_F(Replay_test, NothingIsReadOutsideTheImage) {
    printed();
    replay_stored_script(scene, status, (dir.path() + "/absent.bin").c_str());
    EXPECT_NE(printed().find("nothing is replayed"), std::string::npos);
    replay_stored_script(scene, status, dir.path().c_str());   // a folder or a device is refused, not read
    EXPECT_NE(printed().find("is a folder, not a file"), std::string::npos);
    const struct { const char* what; std::string bytes; const char* said; int texts; } cases[] = {
        {"ends before the header", std::string(0x10002, '\0'), "nothing is replayed", 0},
        {"header longer than the image",
         image({{1, 1, 0x100, 10, "led t 1 0 0 A\n"}, {2, 1, 0x200, 10, "led t 1 0 0 B\n"}}, 0x10008 + 48 + 20, 3),
         "1 of 3 entries", 1},
        {"data past the end", image({{3, 1, 0x12FF0, 100, "led t 1 0 0 C\n"}}), "outside the image", 0},
        {"no line feed: empty payload", image({{4, 1, 0x12000, 15, "file t 1 0 1 xy"}}), "", 1},
    };
    for (const auto& c : cases) {
        const int before = scene.texts_made;
        EXPECT_NE(replay(c.bytes).find(c.said), std::string::npos) << c.what;
        EXPECT_EQ(scene.texts_made - before, c.texts) << c.what;
    }
    EXPECT_EQ(scene.string_draws[6].length, 0);   // the second text made, in the second free record
}

Command_value value(Command_word command, Verb verb, std::vector<uint32_t> numbers,
                    const char* text = "", uint8_t height = 0) {
    Command_value v;
    v.command = command;
    v.verb = verb;
    v.count = static_cast<int>(numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i) v.number[i] = numbers[i];
    v.text = text;
    v.text_length = std::strlen(text);
    v.font_height = height;
    return v;
}

// What a value says, to compare two of them.
auto says(const Command_value& v) {
    return make_tuple(int(v.command), int(v.verb), int(v.font_height),
                      std::vector<uint32_t>(v.number, v.number + v.count), std::string(v.text, v.text_length));
}

// Every verb formats in the card's exact bytes and parses back; a line that cannot be whole is not made.
TEST(Command_value_test, EveryVerbFormatsAndParsesBackWithTheCardsBytes) {
    using W = Command_word;
    const struct { Command_value v; const char *live, *script; } cases[] = {   // null: bytes not pinned
        {value(W::led, Verb::clearall, {}), "led clearall \n", nullptr},
        {value(W::led, Verb::text, {1, 10, 5}, "Hello", 16), "led 16t 1 10 5 Hello \n ", nullptr},
        {value(W::led, Verb::text, {1, 12, 12}, "Hi", 16), nullptr, "led t 1 12 12 Hi\n "},
        {value(W::led, Verb::text, {1, 12, 12}, "Hi", 12), nullptr, "led 12t 1 12 12 Hi\n "},
        {value(W::led, Verb::text, {2, 0, 120}, "\xB0\xA1\xB0\xA2", 12), nullptr, nullptr},
        {value(W::led, Verb::text, {0, 300, 7}, "x", 24), nullptr, nullptr},
        {value(W::led, Verb::text, {1, 65535, 1}, "32!", 32), nullptr, nullptr},
        {value(W::led, Verb::txt, {3, 1, 12, 12, 64, 16, 20}), nullptr, "led txt 3 1 12 12 64 16 20\n "},
        {value(W::led, Verb::point, {2, 7, 9}), nullptr, nullptr},
        {value(W::led, Verb::line, {0, 1, 2, 300, 2}), nullptr, nullptr},
        {value(W::led, Verb::circle, {1, 2, 3, 4}), "led c 1 2 3 4 \n ", "led c 1 2 3 4\n "},
        {value(W::led, Verb::rect, {0, 2, 3, 12, 8}), "led r 0 2 3 12 8 \n ", nullptr},
        {value(W::led, Verb::s, {}), nullptr, nullptr},
        {value(W::file, Verb::text, {1, 10, 5}, "Hello world, with blanks", 16), nullptr, nullptr},
        {value(W::file, Verb::text, {0, 0, 0}, "", 32), nullptr, nullptr},
        {value(W::file, Verb::zimu, {2, 4, 6}, "\xC4\xE3\xBA\xC3 world", 44), nullptr, nullptr},
    };
    for (const auto& c : cases) {
        for (Line_style style : {Line_style::live, Line_style::script}) {
            char line[700];
            const int n = format_command(c.v, style, line, sizeof line);
            ASSERT_GT(n, 0);
            ASSERT_EQ(static_cast<size_t>(n), std::strlen(line));
            const std::string written = line;
            if (const char* want = style == Line_style::live ? c.live : c.script) {
                EXPECT_EQ(written, want);
            }
            Command_value back;
            ASSERT_TRUE(parse_command_line(line, &back)) << written;
            EXPECT_EQ(says(back), says(c.v)) << written;
        }
    }
    char line[600];
    for (const char* text : {"two words", "tab\there"}) {
        const Command_value v = value(W::led, Verb::text, {0, 0, 0}, text, 16);
        EXPECT_LT(format_command(v, Line_style::live, line, sizeof line), 0) << text;
    }
    char small[10];
    EXPECT_EQ(format_command(value(W::led, Verb::rect, {0, 2, 3, 12, 8}), Line_style::live, small, sizeof small), -1);
    EXPECT_STREQ(small, "");
}

// A script built into an image replays its lines; empty, too long or overflowing entries are refused.
TEST_F(Replay_test, AScriptBuiltIntoAnImageReplaysItsLines) {
    std::vector<uint8_t> image(flash_window_end, 0);
    Command_image_writer writer(image.data(), image.size());
    const std::string text_line = "file 16t 1 10 5\nHello world";
    const std::string rect_line = "led r 0 2 3 12 8\n";
    ASSERT_TRUE(writer.add(21, text_line.data(), text_line.size()));
    ASSERT_TRUE(writer.add(22, rect_line.data(), rect_line.size()));
    ASSERT_FALSE(writer.add(23, "", 0));                                // empty: refused
    ASSERT_FALSE(writer.add(24, std::string(513, 'x').c_str(), 513));   // too long: refused
    EXPECT_EQ(writer.finish(), 2u);

    Command_header header;
    ASSERT_EQ(read_command_header(image.data(), image.size(), &header), Header_status::ok);
    ASSERT_EQ(header.count, 2u);
    EXPECT_EQ(header.entries[1].type, 22u);
    EXPECT_GE(header.entries[0].address, Command_image_writer::data_start);
    EXPECT_EQ(replay_image(scene, status, image.data(), image.size()), Header_status::ok);
    EXPECT_EQ(make_tuple(scene.text_count, std::string(scene.string_draws[5].text), scene.string_draws[5].slot, scene.rect_count,
                         scene.digit_at(1, 1).width),
              make_tuple(6, "Hello world", 21, 1, 10));

    // The window fills up: entries that do not fit are refused, none cut.
    std::vector<uint8_t> full(flash_window_end, 0);
    Command_image_writer big(full.data(), full.size());
    const std::string chunk(512, 'y');
    int added = 0;
    while (big.add(1, chunk.data(), chunk.size())) ++added;
    EXPECT_EQ(added, static_cast<int>((flash_window_end - Command_image_writer::data_start) / 512));
}

}  // namespace
