// SPDX-License-Identifier: Apache-2.0
// Reading the project's text form: events read while the text is parsed must be read exactly
// as the same events of a one-device text, which are read from a tree; and the text's layout
// must matter only where JSON says it does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "model/project_text.h"

namespace corvix {
namespace {

using J = nlohmann::ordered_json;

std::unique_ptr<ProjectBlock> OneEventProject() {
    auto b = std::make_unique<ProjectBlock>();
    b->projectOpen = 1;
    b->deviceCount = 1;
    InitialiseNewDevice(b->devices[0], "dev", LangEnglish);
    b->devices[0].eventCount = 1;
    b->devices[0].events[0] = EventRecord{{0}, 2024, 3, 1, 12, 0, 0, 0, 250, {0}, 0, 0, "in 1", {0}, {0}};
    return b;
}

// `text` with its first event replaced by `event`, written as it stands.
std::string WithEvent(const std::string& text, const std::string& event) {
    J j = J::parse(text);
    J& device = j.contains("device") ? j["device"] : j["devices"][0];
    device["events"][0] = "@event@";
    std::string out = j.dump(2);
    out.replace(out.find("\"@event@\""), 9, event);
    return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(ProjectTextRead, EventsReadDuringTheParseAndFromATreeAlike) {
    struct Case {
        std::string event;
        const char* field;  // below the event; nullptr when the event is taken
        const char* enPart;
    };
    const char* const kRest = R"("transition": {"code": 1}, "risingMark": 0, "signalName": "in 1")";
    auto ev = [&](const std::string& members) { return "{" + members + ", " + kRest + "}"; };
    const std::string stamp = R"("stamp": "2024-03-01T12:00:00.250")";
    const std::string timeParts =
        R"("year": 2024, "month": 3, "day": 1, "hour": 12, "minute": 0, "second": 0)";
    const Case cases[] = {
        {"5", "", "an object"},
        {"[{\"stamp\": 1}]", "", "an object"},
        {"null", "", "an object"},
        {"{}", "/stamp", "exactly one"},
        {R"({"colour": [1, {"a": 2}], "stamp": "x", "rest": 1})", "/colour", "unknown field"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 0, "x": {"y": 1}}})", "/transition/x",
         "unknown field"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": [0]})", "/transition", "an object"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "risingMark": 0, "signalName": "in 1"})", "/transition",
         "missing"},
        {ev(R"("stamp": {"year": 2024})"), "/stamp", "a string"},
        {ev(stamp + R"(, "time": {})"), "/stamp", "exactly one"},
        {ev(R"("time": {)" + timeParts + "}"), "/time/millisecond", "missing"},
        {ev(R"("time": {"year": 2024, "month": 256})"), "/time/month", "value 256 is out"},
        {ev(R"("time": {"year": -1})"), "/time/year", "value -1 is out"},
        {ev(R"("time": {"year": 2024.5})"), "/time/year", "an integer"},
        {ev(R"("time": {"year": 1, "when": 2})"), "/time/when", "unknown field"},
        {ev(R"("time": 7)"), "/time", "an object"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"text": "Sideways"}})", "/transition",
         "unknown choice \"Sideways\""},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 0, "text": "On->Off"}})",
         "/transition", "disagree"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 256}})", "/transition/code", "256"},
        {ev(stamp + R"(, "reserved0": "zz")"), "/reserved0", "hex bytes"},
        {ev(stamp + R"(, "unused11": "0102")"), "/unused11", "1 bytes at most"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 1}, "risingMark": 1e2})",
         "/risingMark", "an integer"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 1}, "risingMark": 0,
             "signalName": {"text": "in 2", "hex": "696e2031"}})",
         "/signalName", "disagree"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 1}, "risingMark": 0,
             "signalName": "123456789012345678901234567890123"})",
         "/signalName", "takes 33 bytes"},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"code": 1}, "risingMark": 0,
             "signalName": {"hex": "41"}})",
         "/signalName/text", "missing"},
        // Taken: a repeated key replaces the earlier value, and what was wrong with it.
        {R"({"transition": {"x": 1}, "stamp": "bad", "risingMark": "no", "signalName": "in 1",
             "stamp": "2024-03-01T12:00:00.250", "transition": {"code": 1}, "risingMark": 2})",
         nullptr, ""},
        {ev(R"("time": {)" + timeParts + R"(, "millisecond": 250}, "reserved52": "00000005")"), nullptr, ""},
        {R"({"stamp": "2024-03-01T12:00:00.250", "transition": {"text": "合->分"}, "risingMark": 0,
             "signalName": {"text": "in 1", "hex": "696e2031", "tail": "0000ff"}})",
         nullptr, ""},
    };
    const auto project = OneEventProject();
    const std::string projectText = ProjectToJson(*project), deviceText = DeviceToJson(*project, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        TextFormError inParse, fromTree;
        const auto streamed = ProjectFromJson(WithEvent(projectText, c.event), inParse);
        const auto tree = ProjectFromJson(WithEvent(deviceText, c.event), fromTree);
        if (c.field == nullptr) {
            ASSERT_TRUE(streamed) << inParse.en;
            ASSERT_TRUE(tree) << fromTree.en;
            const EventRecord& a = streamed->block->devices[0].events[0];
            EXPECT_EQ(std::memcmp(&a, &tree->block->devices[0].events[0], sizeof a), 0);
            EXPECT_EQ(a.year, 2024);
            EXPECT_EQ(a.millisecond, 250);
            EXPECT_STREQ(a.signalName, "in 1");
            continue;
        }
        ASSERT_FALSE(streamed);
        ASSERT_FALSE(tree);
        EXPECT_EQ(inParse.field, std::string("/devices/0/events/0") + c.field);
        EXPECT_EQ(fromTree.field, std::string("/device/events/0") + c.field);
        EXPECT_NE(inParse.en.find(c.enPart), std::string::npos) << inParse.en;
        EXPECT_EQ(Replaced(inParse.en, "/devices/0/", "/"), Replaced(fromTree.en, "/device/", "/"));
        EXPECT_EQ(Replaced(inParse.zh, "/devices/0/", "/"), Replaced(fromTree.zh, "/device/", "/"));
    }
}

TEST(ProjectTextRead, LayoutMattersOnlyBetweenWords) {
    const auto project = OneEventProject();
    const std::string text = ProjectToJson(*project);
    auto edited = [&](const std::string& from, const std::string& to) { return Replaced(text, from, to); };
    struct Case {
        const char* what;
        std::string text;
        int line;          // of the refusal; 0: taken
        const char* name;  // the project name read, when taken
    };
    const Case cases[] = {
        {"tabs and CRLF", Replaced(edited("\n  ", "\r\n\t"), "\n", "\r\n"), 0, ""},
        {"no layout at all", J::parse(text).dump(), 0, ""},
        {"byte order mark", "\xEF\xBB\xBF" + text, 0, ""},
        {"spaces in a string", edited(R"("projectName": "")", R"("projectName": " a \" ,\t: b\\"  )"), 0,
         " a \" ,\t: b\\"},
        {"two numbers", edited("\"projectOpen\": 1", "\"projectOpen\": 1 2"), 5, nullptr},
        {"a literal cut in two", edited("\"projectOpen\": 1", "\"projectOpen\": tr ue"), 5, nullptr},
        {"a number cut in two", edited("\"deviceCount\": 1", "\"deviceCount\": -\n 1"), 6, nullptr},
        {"a mark behind a space", " \xEF\xBB\xBF" + text, 1, nullptr},
        {"a string left open", edited(R"("projectName": "")", "\"projectName\": \" \\\""), 4, nullptr},
        {"anything behind a NUL byte", text + std::string("\0{", 2),
         1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')), nullptr},
        {"a NUL byte in a string", edited(R"("projectName": "")", std::string("\"projectName\": \"\0\"", 18)), 4,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TextFormError error;
        const auto parsed = ProjectFromJson(c.text, error);
        if (c.line == 0) {
            ASSERT_TRUE(parsed) << error.en;
            EXPECT_STREQ(parsed->block->projectName, c.name);
            EXPECT_EQ(std::memcmp(&parsed->block->devices, &project->devices, sizeof project->devices), 0);
            continue;
        }
        ASSERT_FALSE(parsed);
        EXPECT_EQ(error.line, c.line) << error.en;  // as the text is written, not as it was read
        EXPECT_TRUE(error.field.empty());
        EXPECT_NE(error.en.find("line " + std::to_string(c.line)), std::string::npos) << error.en;
    }
}

}  // namespace
}  // namespace corvix
