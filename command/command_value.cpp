#include "command/command_value.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "command/interpreter.h"

int text_verb_height(const char* verb) {
    if (!std::strcmp(verb, "t") || !std::strcmp(verb, "16t")) return 16;
    if (!std::strcmp(verb, "12t")) return 12;
    if (!std::strcmp(verb, "24t")) return 24;
    if (!std::strcmp(verb, "32t")) return 32;
    return 0;
}

int verb_numbers(Command_word command, Verb verb) {
    switch (verb) {
        case Verb::text: return 3;
        case Verb::zimu: return 3;
        case Verb::txt: return 7;
        case Verb::point: return 3;
        case Verb::line: return 5;
        case Verb::circle: return 4;
        case Verb::rect: return command == Command_word::led ? 5 : 0;
        default: return 0;
    }
}

Command_value parse_command_arguments(Command_word command, int argc, char** argv,
                                      const char* payload) {
    Command_value v;
    v.command = command;
    const char* verb = argc > 0 ? argv[0] : "";
    auto arg = [&](int i) { return i < argc ? argv[i] : ""; };
    if (int height = text_verb_height(verb)) {
        v.verb = Verb::text;
        v.font_height = static_cast<uint8_t>(height);
    } else if (command == Command_word::file) {
        if (!std::strcmp(verb, "Zimu")) {
            // Arguments 1, 5, 6 and 7 are not read.
            v.verb = Verb::zimu;
            v.count = 3;
            v.number[0] = (parse_value(arg(2)) >> 4) & 15u;
            v.number[1] = parse_value(arg(3));
            v.number[2] = parse_value(arg(4));
            v.font_height = static_cast<uint8_t>(parse_value(arg(8)));
            v.text = payload ? payload : "";
            v.text_length = strnlen(v.text, 511);
        }
        if (v.verb == Verb::unknown) return v;
    } else {
        static const struct {
            const char* word;
            Verb verb;
        } verbs[] = {{"clearall", Verb::clearall}, {"txt", Verb::txt},  {"p", Verb::point},
                     {"l", Verb::line},            {"c", Verb::circle}, {"r", Verb::rect},
                     {"s", Verb::s}};
        for (const auto& e : verbs)
            if (!std::strcmp(verb, e.word)) v.verb = e.verb;
    }
    if (v.verb == Verb::zimu) return v;
    v.count = verb_numbers(command, v.verb);
    for (int i = 0; i < v.count; ++i) v.number[i] = parse_value(arg(i + 1));
    if (v.verb == Verb::text) {
        if (command == Command_word::led) {
            v.text = arg(4);
            v.text_length = std::strlen(v.text);
        } else {
            v.text = payload ? payload : "";
            v.text_length = strnlen(v.text, 511);
        }
    }
    return v;
}

bool parse_command_line(char* line, Command_value* out) {
    const char* payload = "";
    if (char* lf = std::strchr(line, '\n')) {
        *lf = '\0';
        payload = lf + 1;
    }
    char* tokens[max_arguments + 1];
    const int n = split_tokens(line, tokens, max_arguments + 1);
    if (n < 1) return false;
    Command_word command;
    if (!strcasecmp(tokens[0], "led"))
        command = Command_word::led;
    else if (!strcasecmp(tokens[0], "file"))
        command = Command_word::file;
    else
        return false;
    *out = parse_command_arguments(command, n - 1, tokens + 1, payload);
    return true;
}

namespace {

bool text_verb_height_ok(uint8_t h) { return h == 12 || h == 16 || h == 24 || h == 32; }

// Writes text into buf at used; false when it does not fit.
bool append(char* buf, size_t cap, int* used, const char* text, size_t n) {
    if (*used < 0 || static_cast<size_t>(*used) + n + 1 > cap) return false;
    std::memcpy(buf + *used, text, n);
    *used += static_cast<int>(n);
    buf[*used] = '\0';
    return true;
}

}  // namespace

int format_command(const Command_value& v, Line_style style, char* buf, size_t cap) {
    if (cap == 0) return -1;
    buf[0] = '\0';
    const bool script = style == Line_style::script;
    const int32_t* n = reinterpret_cast<const int32_t*>(v.number);   // written as %d
    char head[160];
    int len = -1;
    if (v.command == Command_word::file) {
        if (v.verb == Verb::text && text_verb_height_ok(v.font_height))
            len = std::snprintf(head, sizeof head, "file %ut %d %d %d\n", unsigned{v.font_height},
                                n[0], n[1], n[2]);
        else if (v.verb == Verb::zimu)
            len = std::snprintf(head, sizeof head, "file Zimu 0 %u %d %d 0 0 0 %u\n",
                                (v.number[0] & 15u) << 4, n[1], n[2], unsigned{v.font_height});
        if (len < 0) return -1;
        int used = 0;
        if (!append(buf, cap, &used, head, static_cast<size_t>(len)) ||
            !append(buf, cap, &used, v.text, v.text_length))
            return -1;
        return used;
    }
    switch (v.verb) {
        case Verb::clearall: len = std::snprintf(head, sizeof head, "led clearall \n"); break;
        case Verb::text: {
            for (size_t i = 0; i < v.text_length; ++i)
                if (static_cast<uint8_t>(v.text[i]) <= 0x20) return -1;
            if (script) {
                const char* word = v.font_height == 12   ? "12t"
                                   : v.font_height == 24 ? "24t"
                                   : v.font_height == 32 ? "32t"
                                                         : "t";
                len = std::snprintf(head, sizeof head, "led %s %d %d %d ", word, n[0], n[1], n[2]);
            } else {
                len = std::snprintf(head, sizeof head, "led %ut %d %d %d ", unsigned{v.font_height},
                                    n[0], n[1], n[2]);
            }
            const char* tail = script ? "\n " : " \n ";
            int used = 0;
            if (len < 0 || !append(buf, cap, &used, head, static_cast<size_t>(len)) ||
                !append(buf, cap, &used, v.text, v.text_length) ||
                !append(buf, cap, &used, tail, std::strlen(tail)))
                return -1;
            return used;
        }
        case Verb::txt:
            len = std::snprintf(head, sizeof head, "led txt %d %d %d %d %d %d %d\n ", n[0], n[1],
                                n[2], n[3], n[4], n[5], n[6]);
            break;
        case Verb::point:
            len = std::snprintf(head, sizeof head, "led p %d %d %d \n ", n[0], n[1], n[2]);
            break;
        case Verb::line:
            len = std::snprintf(head, sizeof head, "led l %d %d %d %d %d \n ", n[0], n[1], n[2],
                                n[3], n[4]);
            break;
        case Verb::circle:
            len = std::snprintf(head, sizeof head, script ? "led c %d %d %d %d\n " : "led c %d %d %d %d \n ",
                                n[0], n[1], n[2], n[3]);
            break;
        case Verb::rect:
            len = std::snprintf(head, sizeof head, "led r %d %d %d %d %d \n ", n[0], n[1], n[2],
                                n[3], n[4]);
            break;
        case Verb::s: len = std::snprintf(head, sizeof head, "led s \n "); break;
        default: return -1;
    }
    int used = 0;
    if (len < 0 || !append(buf, cap, &used, head, static_cast<size_t>(len))) return -1;
    return used;
}

int format_module(const Module_value& m, char* buf, size_t cap) {
    if (cap == 0) return -1;
    const int n = std::snprintf(buf, cap, "insmod %d %d led key %d %d %d %d %d %d %d %d\n ", m.number,
                                m.module_class, m.colour, m.x, m.y, m.type, m.digits, m.param_a, m.param_b, 1);
    if (n < 0 || static_cast<size_t>(n) >= cap) {
        buf[0] = '\0';
        return -1;
    }
    return n;
}

bool parse_module_arguments(int argc, char** argv, Module_value* out) {
    if (argc < 11 || std::strcmp(argv[2], "led") || std::strcmp(argv[3], "key")) return false;
    auto number = [&](int i) {
        const char* t = argv[i];
        if (t[0] == '-') return static_cast<int32_t>(0u - parse_value(t + 1));
        return static_cast<int32_t>(parse_value(t));
    };
    out->number = number(0);
    out->module_class = number(1);
    out->colour = static_cast<uint8_t>(number(4));
    out->x = number(5);
    out->y = number(6);
    out->type = number(7);
    out->digits = number(8);
    out->param_a = number(9);
    out->param_b = number(10);
    return true;
}
