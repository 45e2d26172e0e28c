// SPDX-License-Identifier: Apache-2.0
// The fast parser must hand the reader exactly the calls nlohmann's own parser makes, or
// refuse the text so that nlohmann reads it: a text either parser takes differently would
// import differently depending on which one read it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/project_text.h"
#include "model/project_text_read_fast.h"

namespace corvix {
namespace {

using J = nlohmann::ordered_json;

// Writes down every call, strings and keys byte by byte, numbers with their kind and every digit.
class Recorder final : public nlohmann::json_sax<J> {
  public:
    std::string log;

    bool null() override { return Add("null"); }
    bool boolean(bool v) override { return Add(v ? "true" : "false"); }
    // "-0": nlohmann says a signed 0, simdjson an unsigned one; the reader takes both as 0.
    bool number_integer(number_integer_t v) override {
        return Add((v == 0 ? "uint " : "int ") + std::to_string(v));
    }
    bool number_unsigned(number_unsigned_t v) override { return Add("uint " + std::to_string(v)); }
    bool number_float(number_float_t v, const string_t&) override {
        char digits[40];
        std::snprintf(digits, sizeof digits, "float %.17g", v);
        return Add(digits);
    }
    bool string(string_t& v) override { return Add("string " + Hex(v)); }
    bool binary(binary_t&) override { return Add("binary"); }
    bool start_object(std::size_t) override { return Add("{"); }
    bool key(string_t& v) override { return Add("key " + Hex(v)); }
    bool end_object() override { return Add("}"); }
    bool start_array(std::size_t) override { return Add("["); }
    bool end_array() override { return Add("]"); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        Add("error");
        return false;
    }

  private:
    bool Add(const std::string& call) {
        log += call + "\n";
        return true;
    }
    static std::string Hex(const std::string& s) {
        std::string out;
        char byte[3];
        for (unsigned char c : s) std::snprintf(byte, sizeof byte, "%02x", c), out += byte;
        return out;
    }
};

TEST(ProjectTextReadFast, EitherHandsOnTheLibrarysCallsOrRefuses) {
    enum Fast { Refuses, Takes };
    enum Library { Refused, Taken };
    struct Case {
        const char* what;
        std::string text;
        Fast fast;
        Library library;
    };
    const std::string deep = std::string(1100, '[') + std::string(1100, ']');
    const Case cases[] = {
        {"a repeated key, both values in order", R"({"a": 1, "b": [true, null], "a": {"a": "x"}})", Takes, Taken},
        {"an empty key and escaped keys", R"({"": 1, "a\"b": 2, "\u00e9": 3, "a\\/b": 4})", Takes, Taken},
        {"integers at the edges of 64 bits",
         "[0, -0, 1, -1, 9223372036854775807, 9223372036854775808, 18446744073709551615, "
         "-9223372036854775808]",
         Takes, Taken},
        {"floats", "[1e2, 1E+2, 1.0, -0.0, -1.5e-3, 0e999, 1e-400, 2.2250738585072011e-308, "
                   "123456789012345678901234567890.5, 3.14159265358979323846264338327950288]",
         Takes, Taken},
        // The library reads integers past 64 bits as floats; the fast parser refuses them.
        {"an integer past 64 bits", "[18446744073709551616]", Refuses, Taken},
        {"a negative integer past 64 bits", "[-9223372036854775809]", Refuses, Taken},
        {"a float past the largest", "[1e400]", Refuses, Refused},
        {"numbers JSON has not",
         "[01]", Refuses, Refused},
        {"a bare fraction", "[.5]", Refuses, Refused},
        {"a plus sign", "[+1]", Refuses, Refused},
        {"a point without digits", "[1.]", Refuses, Refused},
        {"a lone minus", "[-]", Refuses, Refused},
        {"a hex number", "[0x10]", Refuses, Refused},
        {"a surrogate pair and a NUL escape", R"(["\ud83d\ude00", "a\u0000b", "\u4e2d\/\b\f\n\r\t"])", Takes,
         Taken},
        {"a high surrogate alone", R"(["\ud83d"])", Refuses, Refused},
        {"a high surrogate before a letter", R"(["\ud83d\u0041"])", Refuses, Refused},
        {"a low surrogate alone", R"(["\ude00"])", Refuses, Refused},
        {"a bad escape", R"(["\a"])", Refuses, Refused},
        {"a short unicode escape", R"(["\u12"])", Refuses, Refused},
        {"UTF-8 texts and DEL", "[\"城东变电站 \xF0\x9F\x98\x80 \x7F\"]", Takes, Taken},
        {"a control byte in a string", "[\"a\x01\"]", Refuses, Refused},
        {"a tab in a string", "[\"a\tb\"]", Refuses, Refused},
        {"a NUL byte in a string", std::string("[\"a\0b\"]", 7), Refuses, Refused},
        {"a NUL byte first", std::string("\0[]", 3), Refuses, Refused},
        {"a cut UTF-8 sequence", "[\"\xC3\x28\"]", Refuses, Refused},
        {"an overlong UTF-8 sequence", "[\"\xC0\xAF\"]", Refuses, Refused},
        {"a surrogate written in UTF-8", "[\"\xED\xA0\x80\"]", Refuses, Refused},
        {"past the last code point", "[\"\xF4\x90\x80\x80\"]", Refuses, Refused},
        {"a stray byte outside strings", "[1, \xE4\xB8\xAD]", Refuses, Refused},
        {"a byte order mark", "\xEF\xBB\xBF{\"a\": 1}", Takes, Taken},
        {"a mark behind a space", " \xEF\xBB\xBF{}", Refuses, Refused},
        {"two marks", "\xEF\xBB\xBF\xEF\xBB\xBF{}", Refuses, Refused},
        {"half a mark", "\xEF\xBB{}", Refuses, Refused},
        {"literals", "[true, false, null]\r\n\t ", Takes, Taken},
        {"a literal cut short", "[tru]", Refuses, Refused},
        {"a literal running on", "[nulll]", Refuses, Refused},
        {"a form feed between tokens", "[1,\f2]", Refuses, Refused},
        {"a comment", "/* x */ {}", Refuses, Refused},
        {"a trailing comma", R"({"a": [1,],})", Refuses, Refused},
        {"a missing colon", R"({"a" 1})", Refuses, Refused},
        {"a bare key", R"({a: 1})", Refuses, Refused},
        {"a second value", "{} {}", Refuses, Refused},
        {"an unclosed object", R"({"a": 1)", Refuses, Refused},
        {"nothing", "", Refuses, Refused},
        {"only layout", " \n", Refuses, Refused},
        {"a scalar alone", "42", Takes, Taken},
        {"nesting past the fast parser's depth", deep, Refuses, Taken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder library, fast;
        const bool libraryTook = J::sax_parse(c.text, &library);
        const bool fastTook = textread::ReplayFast(c.text, fast);
        EXPECT_EQ(libraryTook, c.library == Taken) << library.log;
        ASSERT_EQ(fastTook, c.fast == Takes) << fast.log;
        if (fastTook) {
            EXPECT_EQ(fast.log, library.log);
        } else {
            EXPECT_EQ(fast.log, "");  // the reader was handed nothing it must forget
        }
    }
}

// Texts the fast parser refuses are imported by the library's reading: the same block, or the
// same refusal with the place and words it has always had.
TEST(ProjectTextReadFast, WhatTheFastParserRefusesIsReadAsBefore) {
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = 1;
    InitialiseNewDevice(project->devices[0], "dev", LangEnglish);
    project->devices[0].eventCount = 1;
    project->devices[0].events[0] = EventRecord{{0}, 2024, 3, 1, 12, 0, 0, 0, 250, {0}, 0, 0, "in 1", {0}, {0}};
    const std::string text = ProjectToJson(*project);
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string out = text;
        const std::size_t at = out.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? out : out.replace(at, from.size(), to);
    };
    const std::string deep = std::string(1100, '[') + std::string(1100, ']');
    struct Case {
        const char* what;
        std::string text;
        const char* field;  // nullptr: taken, the same block
        const char* enPart;
    };
    const Case cases[] = {
        {"deep nesting in a field", edited("\"projectOpen\": 1", "\"projectOpen\": 1, \"x\": " + deep), "/x",
         "unknown field"},
        {"deep nesting as an event's member",
         edited("\"risingMark\": 0", "\"risingMark\": 0, \"x\": " + deep), "/devices/0/events/0/x",
         "unknown field"},
        {"an integer past 64 bits as an event's member",
         edited("\"risingMark\": 0", "\"risingMark\": 18446744073709551616"),
         "/devices/0/events/0/risingMark", "an integer"},
        {"an integer past 64 bits as a device's member",
         edited("\"address\": 1", "\"address\": -9223372036854775809"), "/devices/0/address", "an integer"},
        {"the same taken by either", edited("\"projectOpen\": 1", "\"projectOpen\": 1.0e0"), "/projectOpen",
         "an integer"},
        {"nesting in a repeated key that the second replaces",
         edited("\"projectOpen\": 1", "\"projectOpen\": " + deep + ", \"projectOpen\": 1"), nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TextFormError error;
        const auto parsed = ProjectFromJson(c.text, error);
        if (c.field == nullptr) {
            ASSERT_TRUE(parsed) << error.en;
            EXPECT_EQ(std::memcmp(parsed->block.get(), project.get(), sizeof *project), 0);
            continue;
        }
        ASSERT_FALSE(parsed);
        EXPECT_EQ(error.field, c.field);
        EXPECT_EQ(error.line, 0);
        EXPECT_NE(error.en.find(c.enPart), std::string::npos) << error.en;
        EXPECT_NE(error.zh.find(c.field), std::string::npos) << error.zh;
    }
}

}  // namespace
}  // namespace corvix
