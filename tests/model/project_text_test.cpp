// SPDX-License-Identifier: Apache-2.0
// The project's text form: byte-exact round trips over generated projects, canonical output,
// refused imports, the published schema and the command line's export and import.
#include "model/project_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/run_program.h"
#include "model/gbk.h"
#include "model/project_file.h"
#include "model/project_text_parts.h"
#include "model_fakes.h"

namespace corvix {
namespace {

using Block = std::unique_ptr<ProjectBlock>;

Block Zeroed() { return std::make_unique<ProjectBlock>(); }

bool SameBytes(const ProjectBlock& a, const ProjectBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Rng {
    explicit Rng(unsigned seed) : gen(seed) {}
    std::mt19937 gen;
    int Range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    bool Chance(int percent) { return Range(0, 99) < percent; }
    void Fill(void* data, std::size_t size) {
        auto* p = static_cast<unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(Range(0, 255));
    }
};

// Texts as stored (GBK bytes): plain, Chinese, GBK-only characters (outside GB2312), bytes
// that are no GBK, a lead byte cut off by the field's end, control characters, JSON quotes.
const char* const kTexts[] = {"plant 1",          "\xD7\xB0\xD6\xC3\xD2\xBB",
                              "\x81\x40\xFE\x4F", "\xFF\xFE\x80",
                              "name\x81",         "\x1B[2J",
                              "a\"b\\c/",         ""};

void PutText(Rng& rng, char* field, int width) {
    std::memset(field, 0, static_cast<std::size_t>(width));
    const std::string text = kTexts[rng.Range(0, std::size(kTexts) - 1)];
    if (rng.Chance(5)) {  // no terminator at all
        rng.Fill(field, static_cast<std::size_t>(width));
        for (int i = 0; i < width; ++i) field[i] = field[i] == 0 ? 'x' : field[i];
        return;
    }
    std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(width - 1)));
    const std::size_t len = std::strlen(field);
    if (rng.Chance(20) && len + 1 < static_cast<std::size_t>(width))  // an old text behind the NUL
        rng.Fill(field + len + 1 + rng.Range(0, width - static_cast<int>(len) - 2), 1);
}

void RandomEvent(Rng& rng, EventRecord& e) {
    e = EventRecord{};
    e.year = static_cast<uint16_t>(rng.Range(2000, 2030));
    e.month = static_cast<uint8_t>(rng.Range(1, 12));
    e.day = static_cast<uint8_t>(rng.Range(1, 28));
    e.hour = static_cast<uint8_t>(rng.Range(0, 23));
    e.minute = static_cast<uint8_t>(rng.Range(0, 59));
    e.second = static_cast<uint8_t>(rng.Range(0, 59));
    e.millisecond = static_cast<uint16_t>(rng.Range(0, 999));
    e.transition = static_cast<uint8_t>(rng.Chance(10) ? rng.Range(0, 255) : rng.Range(0, 1));
    PutText(rng, e.signalName, SignalNameSize);
    if (rng.Chance(10)) e.day = 31, e.month = 2;  // no real time: kept field by field
    if (rng.Chance(10)) rng.Fill(e.reserved0, sizeof e.reserved0);
    if (rng.Chance(10)) rng.Fill(e.reserved52, sizeof e.reserved52);
    if (rng.Chance(5)) e.unused11 = 7, e.unused50[1] = 9;
}

// A project as programs and devices leave them, with the odd bytes they sometimes carry.
Block Realistic(unsigned seed) {
    Rng rng(seed);
    Block b = Zeroed();
    b->projectOpen = 1;
    b->deviceCount = rng.Chance(10) ? rng.Range(-3, 25) : rng.Range(0, MaxDevices);
    PutText(rng, b->projectName, ProjectNameSize);
    const int used = std::min(MaxDevices, std::max(0, b->deviceCount) + (rng.Chance(30) ? 1 : 0));
    for (int i = 0; i < used; ++i) {
        DeviceRecord& d = b->devices[i];
        PutText(rng, d.name, DeviceNameSize);
        PutText(rng, d.deviceType, DeviceTypeSize);
        PutText(rng, d.serialNumber, SerialNumberSize);
        if (rng.Chance(10)) rng.Fill(d.reserved, sizeof d.reserved);
        if (rng.Chance(10)) rng.Fill(d.padding, sizeof d.padding);
        d.address = static_cast<int16_t>(rng.Range(-32768, 32767));
        d.timeSync = static_cast<uint8_t>(rng.Chance(10) ? rng.Range(0, 255) : rng.Range(0, 2));
        for (int p = 0; p < 2; ++p) {
            d.protocol[p] = static_cast<uint8_t>(rng.Range(0, 1));
            d.baudRate[p] = rng.Chance(10) ? static_cast<uint32_t>(rng.gen()) : 9600u;
            d.dataBits[p] = static_cast<uint8_t>(rng.Range(7, 8));
            d.stopBits[p] = static_cast<uint8_t>(rng.Range(0, 2));
            d.parity[p] = static_cast<uint8_t>(rng.Chance(10) ? rng.Range(3, 255) : rng.Range(0, 2));
        }
        d.signalCount =
            static_cast<uint16_t>(rng.Chance(10) ? rng.Range(73, 65535) : rng.Range(0, MaxSignalNames));
        for (int s = 0; s < MaxSignalNames; ++s)
            if (s < d.SignalCountClamped() || rng.Chance(5)) PutText(rng, d.signalNames[s], SignalNameSize);
        // Mostly short logs, so that the texts stay small; now and then a full or odd count.
        d.eventCount = rng.Chance(5)   ? rng.Range(-100000, 100000)
                       : rng.Chance(5) ? MaxEvents
                                       : rng.Range(0, 20);
        for (int e = 0; e < MaxEvents; ++e)
            if (e < d.EventCountClamped() || rng.Chance(2)) RandomEvent(rng, d.events[e]);
    }
    return b;
}

// Only the first `devices` slots of `b` kept, the others zeroed: a text small enough for the
// debug and sanitizer builds and the schema validator on a loaded machine.
Block Trimmed(Block b, int devices) {
    for (int i = devices; i < MaxDevices; ++i) b->devices[i] = DeviceRecord{};
    return b;
}

// Any bytes at all: every project file with the right magic and size is a valid one. Two
// slots of random bytes cover every field; the rest of such a text is only larger.
Block RandomBytes(unsigned seed) {
    Rng rng(seed);
    Block b = Zeroed();
    rng.Fill(b.get(), sizeof *b);
    return Trimmed(std::move(b), 2);
}

Block Imported(const std::string& text) {
    TextFormError error;
    std::optional<ParsedProjectText> parsed = ProjectFromJson(text, error);
    EXPECT_TRUE(parsed.has_value()) << error.en;
    return parsed ? std::move(parsed->block) : nullptr;
}

TEST(ProjectText, RoundTripsEveryByteOfGeneratedProjects) {
    struct Case {
        const char* what;
        Block (*make)(unsigned);
        unsigned seeds;  // a project of random bytes is a large text: one is enough
    };
    const Case cases[] = {{"realistic", Realistic, 8},
                          {"random bytes", RandomBytes, 1},
                          {"empty", [](unsigned) { return Zeroed(); }, 1}};
    for (const Case& c : cases) {
        for (unsigned seed = 1; seed <= c.seeds; ++seed) {
            SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
            Block original = c.make(seed);
            const std::string text = ProjectToJson(*original);
            Block back = Imported(text);
            ASSERT_TRUE(back);
            EXPECT_TRUE(SameBytes(*original, *back));
            // Through the file image too: the same 609,872 bytes.
            EXPECT_EQ(ProjectFileImage(*back), ProjectFileImage(*original));
            EXPECT_EQ(ProjectToJson(*back), text);

            // Each slot alone: only that slot comes back, and it comes back whole.
            const int slot = static_cast<int>(seed % MaxDevices);
            TextFormError error;
            std::optional<ParsedProjectText> one = ProjectFromJson(DeviceToJson(*original, slot), error);
            ASSERT_TRUE(one) << error.en;
            EXPECT_EQ(one->onlyDevice, slot);
            Block expected = Zeroed();
            expected->devices[slot] = original->devices[slot];
            EXPECT_TRUE(SameBytes(*one->block, *expected));
        }
    }
}

nlohmann::json Parsed(const std::string& text) { return nlohmann::json::parse(text); }

TEST(ProjectText, EditedFieldsAreReadableAndMeaninglessBytesOnlyWhenSet) {
    Block b = Zeroed();
    b->projectOpen = 1;
    b->deviceCount = 1;
    CopyTextField(b->projectName, ProjectNameSize, "\xD0\xC2\xB9\xA4\xB3\xCC");  // 新工程
    DeviceRecord& d = b->devices[0];
    InitialiseNewDevice(d, "\x81\x40", LangEnglish);  // 丂, outside GB2312
    d.parity[1] = ParityEven;
    d.timeSync = 7;
    d.signalNames[2][20] = 'Z';  // behind the NUL
    d.eventCount = 1;
    d.events[0] = EventRecord{{0}, 2024, 3, 1, 12, 0, 0, 0, 250, {0}, 1, 0, "in 1", {0}, {0, 0, 0, 5}};
    d.events[3].month = 13;  // a spare slot with bytes, and no real time
    const nlohmann::json j = Parsed(ProjectToJson(*b));
    const nlohmann::json& dev = j["devices"][0];
    EXPECT_EQ(j["projectName"], "新工程");
    EXPECT_EQ(dev["name"], "丂");
    EXPECT_EQ(dev["ports"][1]["parity"], (nlohmann::json{{"code", 1}, {"text", "EVEN"}}));
    EXPECT_EQ(dev["timeSync"], (nlohmann::json{{"code", 7}, {"unlisted", true}}));
    EXPECT_EQ(dev["signals"].size(), std::size_t{NewDeviceSignalCount});
    EXPECT_EQ(dev["signals"][2]["tail"],
              std::string(2 * (20 - std::strlen(d.signalNames[2]) - 1), '0') + "5a");
    EXPECT_EQ(dev["events"][0]["stamp"], "2024-03-01T12:00:00.250");
    EXPECT_EQ(dev["events"][0]["transition"]["text"], "On->Off");
    EXPECT_EQ(dev["events"][0]["reserved52"], "00000005");
    EXPECT_FALSE(dev["events"][0].contains("reserved0"));
    EXPECT_EQ(dev["spareEvents"]["3"]["time"]["month"], 13);
    EXPECT_FALSE(dev.contains("reserved"));
    EXPECT_FALSE(dev.contains("signalCountStored"));
    EXPECT_TRUE(j["devices"][1].is_null());
    EXPECT_EQ(j["devices"].size(), std::size_t{MaxDevices});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(ProjectText, OneChangedFieldIsOneChangedLine) {
    struct Change {
        const char* what;
        void (*apply)(ProjectBlock&);
        const char* line;
    };
    const Change changes[] = {
        {"address", [](ProjectBlock& p) { p.devices[1].address = 1234; }, "\"address\": 1234,"},
        {"baud rate", [](ProjectBlock& p) { p.devices[0].baudRate[1] = 57600; }, "\"baudRate\": 57600,"},
        {"signal name",
         [](ProjectBlock& p) {
             std::memset(p.devices[2].signalNames[5], 0, SignalNameSize);
             CopyTextField(p.devices[2].signalNames[5], SignalNameSize, "pump");
         },
         "\"pump\","},
        {"event ms", [](ProjectBlock& p) { p.devices[0].events[0].millisecond = 7; }, ".007\","},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        Block a = Realistic(7);
        a->deviceCount = 3;
        for (int i = 0; i < 3; ++i) {  // plain, countable devices
            InitialiseNewDevice(a->devices[i], "dev", LangEnglish);
            a->devices[i].eventCount = 2;
            a->devices[i].events[0] = EventRecord{{0}, 2024, 1, 2, 3, 4, 5, 0, 6, {0}, 0, 0, "x", {0}, {0}};
            a->devices[i].events[1] = a->devices[i].events[0];
        }
        Block b = std::make_unique<ProjectBlock>(*a);
        EXPECT_EQ(ProjectToJson(*a), ProjectToJson(*b));  // equal projects, equal bytes
        c.apply(*b);
        const std::vector<std::string> left = Lines(ProjectToJson(*a)), right = Lines(ProjectToJson(*b));
        ASSERT_EQ(left.size(), right.size());
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < left.size(); ++i)
            if (left[i] != right[i]) changed.push_back(i);
        ASSERT_EQ(changed.size(), 1u);
        EXPECT_NE(right[changed[0]].find(c.line), std::string::npos) << right[changed[0]];
    }
}

// The base text every refusal below edits: one new device, one event.
nlohmann::json BaseText() {
    Block b = Zeroed();
    b->projectOpen = 1;
    b->deviceCount = 1;
    InitialiseNewDevice(b->devices[0], "dev", LangEnglish);
    b->devices[0].eventCount = 1;
    b->devices[0].events[0] = EventRecord{{0}, 2024, 3, 1, 12, 0, 0, 0, 250, {0}, 0, 0, "in 1", {0}, {0}};
    return Parsed(ProjectToJson(*b));
}

TEST(ProjectText, RefusesMalformedTextAtItsLineAndColumn) {
    struct Case {
        std::string text;
        int line, column;
    };
    const Case cases[] = {
        {"", 1, 1},
        {"{\n  \"format\": \"corvix-project\",\n  \"version\": 1,,\n}", 3, 16},
        {"{\"a\": tru}", 1, 10},
        {"{\n  \"名字\": \"x\" \"y\"\n}", 2, 15},  // characters, not bytes; at the token's end
        {"[1, 2", 1, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextFormError error;
        EXPECT_FALSE(ProjectFromJson(c.text, error));
        EXPECT_EQ(error.line, c.line);
        EXPECT_EQ(error.column, c.column);
        EXPECT_NE(error.en.find("line " + std::to_string(c.line)), std::string::npos) << error.en;
        EXPECT_NE(error.zh.find("第 " + std::to_string(c.line) + " 行"), std::string::npos) << error.zh;
    }
}

TEST(ProjectText, RefusesValuesOutOfRangeNamingTheField) {
    using J = nlohmann::json;
    struct Case {
        const char* what;
        void (*edit)(J&);
        const char* field;
        const char* enPart;
    };
    const Case cases[] = {
        {"name too long in GBK",
         [](J& j) {
             j["devices"][0]["name"] =
                 std::string(50, 'x') + "装置装置装置装置装置装置装置装置装置装置装置装置装置";
         },
         "/devices/0/name", "takes 102 bytes in GBK"},
        {"character GBK lacks", [](J& j) { j["devices"][0]["signals"][0] = "\xF0\x9F\x98\x80"; },
         "/devices/0/signals/0", "GBK can not hold"},
        {"73 signal names", [](J& j) { j["devices"][0]["signals"] = J(std::vector<std::string>(73, "s")); },
         "/devices/0/signals", "73 signal names"},
        {"501 events",
         [](J& j) {
             J e = j["devices"][0]["events"][0];
             j["devices"][0]["events"] = J::array();
             for (int i = 0; i < 501; ++i) j["devices"][0]["events"].push_back(e);
         },
         "/devices/0/events", "501 events"},
        {"unknown parity text",
         [](J& j) {
             j["devices"][0]["ports"][0]["parity"] = {{"text", "MARK"}};
         },
         "/devices/0/ports/0/parity", "unknown choice \"MARK\""},
        {"unknown parity code",
         [](J& j) {
             j["devices"][0]["ports"][0]["parity"] = {{"code", 3}};
         },
         "/devices/0/ports/0/parity", "unknown choice 3"},
        {"code and text disagree", [](J& j) { j["devices"][0]["timeSync"]["code"] = 2; },
         "/devices/0/timeSync", "disagree"},
        {"address a string", [](J& j) { j["devices"][0]["address"] = "1"; }, "/devices/0/address",
         "an integer"},
        {"address too big", [](J& j) { j["devices"][0]["address"] = 40000; }, "/devices/0/address",
         "out of the range"},
        {"missing field", [](J& j) { j["devices"][0].erase("serialNumber"); }, "/devices/0/serialNumber",
         "missing"},
        {"misspelt field", [](J& j) { j["devices"][0]["adress"] = 1; }, "/devices/0/adress", "unknown field"},
        {"impossible stamp", [](J& j) { j["devices"][0]["events"][0]["stamp"] = "2023-02-29T00:00:00.000"; },
         "/devices/0/events/0/stamp", "real time"},
        {"stored count in range", [](J& j) { j["devices"][0]["signalCountStored"] = 60; },
         "/devices/0/signalCountStored", "out of range"},
        {"spare slot inside the list",
         [](J& j) {
             j["devices"][0]["spareSignals"] = {{"3", "x"}};
         },
         "/devices/0/spareSignals/3", "already covered"},
        {"bad hex", [](J& j) { j["devices"][0]["reserved"] = "zz"; }, "/devices/0/reserved", "hex bytes"},
        {"hex behind an edited text",
         [](J& j) {
             j["projectName"] = {{"text", "new"}, {"hex", "6f6c64"}};
         },
         "/projectName", "disagree"},
        {"19 slots", [](J& j) { j["devices"].erase(19); }, "/devices", "20 entries"},
        {"wrong slot", [](J& j) { j["devices"][0]["slot"] = 4; }, "/devices/0/slot", "must be 0"},
        {"not ours", [](J& j) { j["format"] = "other"; }, "/format", "not a Corvix project"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        J j = BaseText();
        c.edit(j);
        TextFormError error;
        EXPECT_FALSE(ProjectFromJson(j.dump(2), error));
        EXPECT_EQ(error.field, c.field);
        EXPECT_NE(error.en.find(c.enPart), std::string::npos) << error.en;
        EXPECT_NE(error.zh.find(c.field), std::string::npos) << error.zh;
        EXPECT_NE(error.zh, error.en);
    }
    TextFormError error;  // the base text itself is fine
    EXPECT_TRUE(ProjectFromJson(BaseText().dump(), error)) << error.en;
}

// Events are read while the text is parsed; what is refused, and where, must not depend on
// that: a device's own fields are checked before its events, the first bad event is named,
// a broken text is named as broken even after a bad event, and a repeated key replaces.
TEST(ProjectText, EventsReadDuringTheParseKeepRefusalsInOrder) {
    using J = nlohmann::json;
    auto badStamp = [](J& j, int i) { j["devices"][0]["events"][i]["stamp"] = "2023-02-29T00:00:00.000"; };
    struct Case {
        const char* what;
        std::string text;
        const char* field;  // empty: refused as malformed
    };
    J slotAndEvent = BaseText();  // keys sorted: "events" comes before "slot"
    badStamp(slotAndEvent, 0);
    slotAndEvent["devices"][0]["slot"] = 4;
    J twoBad = BaseText();
    twoBad["devices"][0]["events"].push_back(twoBad["devices"][0]["events"][0]);
    badStamp(twoBad, 1);
    twoBad["devices"][0]["events"].push_back(twoBad["devices"][0]["events"][1]);
    twoBad["devices"][0]["events"][2]["risingMark"] = 300;
    J eventThenTooMany = BaseText();
    badStamp(eventThenTooMany, 0);
    eventThenTooMany["devices"][0]["signals"] = J(std::vector<std::string>(73, "s"));
    J broken = BaseText();
    badStamp(broken, 0);
    const Case cases[] = {
        {"slot before events", slotAndEvent.dump(), "/devices/0/slot"},
        {"first bad event", twoBad.dump(2), "/devices/0/events/1/stamp"},
        {"signals before events", eventThenTooMany.dump(), "/devices/0/signals"},
        {"broken after a bad event", broken.dump() + ",", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TextFormError error;
        EXPECT_FALSE(ProjectFromJson(c.text, error));
        EXPECT_EQ(error.field, c.field);
        EXPECT_EQ(error.line > 0, std::string(c.field).empty()) << error.en;
    }

    // A repeated "events" key replaces the list: nothing of the first one may remain.
    std::string twice = BaseText().dump();
    const std::size_t at = twice.find("\"name\":");
    ASSERT_NE(at, std::string::npos);
    twice.insert(at, "\"events\":[],");
    const Block b = Imported(twice);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->devices[0].eventCount, 0);
    EXPECT_TRUE(std::all_of(reinterpret_cast<const char*>(b->devices[0].events),
                            reinterpret_cast<const char*>(b->devices[0].events) + sizeof b->devices[0].events,
                            [](char c) { return c == 0; }));
}

// The writer lays text out as the library's dump of the same tree, compact and indented.
void Write(textform::JsonWriter& w, const nlohmann::ordered_json& v) {
    if (v.is_object()) {
        w.BeginObject();
        for (auto it = v.begin(); it != v.end(); ++it) w.Key(it.key()), Write(w, it.value());
        w.EndObject();
    } else if (v.is_array()) {
        w.BeginArray();
        for (const auto& e : v) w.Element(), Write(w, e);
        w.EndArray();
    } else if (v.is_string()) {
        w.String(v.get<std::string>());
    } else if (v.is_boolean()) {
        w.Bool(v.get<bool>());
    } else if (v.is_null()) {
        w.Null();
    } else {
        w.Integer(v.get<long long>());
    }
}

TEST(ProjectText, WriterLaysOutTextAsTheLibraryDoes) {
    using J = nlohmann::ordered_json;
    const J trees[] = {
        J::object(),
        J::array(),
        J{{"a", J::object()}, {"b", J::array()}, {"c", {1, -2, true, false, nullptr}}},
        J{{"q\"uo\\te", "tab\there\nnew \x01 \x7f"}, {"中文", "城东 / 站"}, {"bad", "\xff\xfe x"}},
        // UTF-8 at the edges of well-formed: overlong, surrogate, past U+10FFFF, cut short.
        J::array({"\xc0\xaf", "\xe0\x80\x80", "\xed\xa0\x80", "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf",
                  "\xf4\x90\x80\x80", "\xf0\x9f\x98\x80", "\xe4\xb8", "x\xe4", "\xc2\x80"}),
        J::array({J{{"deep", J::array({J::array({J::object({{"x", 9223372036854775807LL}})})})}}, "s"}),
    };
    for (const J& tree : trees) {
        for (int indent : {-1, 2}) {
            SCOPED_TRACE(tree.dump(-1, ' ', false, J::error_handler_t::replace) + " indent " +
                         std::to_string(indent));
            textform::JsonWriter w(indent);
            Write(w, tree);
            EXPECT_EQ(w.Text(), tree.dump(indent, ' ', false, J::error_handler_t::replace));
        }
    }
}

struct TextFiles : ::testing::Test {
    test::TempDir dir;
    test::ProgramResult Cli(const std::vector<std::string>& args) {
        return test::RunProgram(test::BuiltProgram("corvix-cli"), args);
    }
};

TEST_F(TextFiles, ExportsMatchThePublishedSchema) {
    std::vector<std::string> files;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        Block b = Trimmed(Realistic(seed), 4);
        files.push_back(dir / ("p" + std::to_string(seed) + ".json"));
        test::WriteBytes(files.back(), ProjectToJson(*b));
        // Any bytes at all, one device (a whole project of them is slow to check).
        files.push_back(dir / ("d" + std::to_string(seed) + ".json"));
        test::WriteBytes(files.back(), DeviceToJson(*RandomBytes(seed), static_cast<int>(seed % 2)));
    }
    files.push_back(dir / "null.json");
    test::WriteBytes(files.back(), DeviceToJson(*Zeroed(), 19));
    const char* script =
        "import json, sys, jsonschema\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "jsonschema.Draft202012Validator.check_schema(schema)\n"
        "v = jsonschema.Draft202012Validator(schema)\n"
        "for f in sys.argv[2:]:\n"
        "    for e in v.iter_errors(json.load(open(f))): print(f, e.json_path, e.message); sys.exit(1)\n"
        "bad = json.load(open(sys.argv[2])); bad['devices'][0] = {'slot': 0}\n"
        "sys.exit(0 if not v.is_valid(bad) else 4)\n";
    std::vector<std::string> args = {"-c", script,
                                     std::string(CORVIX_SOURCE_DIR) + "/data/corvix-project.schema.json"};
    args.insert(args.end(), files.begin(), files.end());
    const test::ProgramResult r = test::RunProgram("/usr/bin/python3", args);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST_F(TextFiles, CommandLineExportsAndImportsByteExact) {
    const std::string mac = dir / "p.mac", json = dir / "p.json", back = dir / "back.mac";
    Block b = Realistic(3);
    test::WriteBytes(mac, ProjectFileImage(*b));
    test::ProgramResult r = Cli({"project", "export", mac});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ProjectToJson(*b));
    ASSERT_EQ(Cli({"project", "export", mac, "-o", json}).exitCode, 0);
    r = Cli({"project", "import", json, "-o", back});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(back), test::ReadBytes(mac));

    r = Cli({"project", "export", mac, "--device", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, DeviceToJson(*b, 2));
    const std::string one = dir / "one.json", refused = dir / "refused.mac";
    test::WriteBytes(one, r.out);
    r = Cli({"project", "import", one, "-o", refused, "--lang", "en"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("one device"), std::string::npos) << r.err;

    test::WriteBytes(one, "{\n  \"format\": 1,\n  x\n}\n");
    r = Cli({"project", "import", one, "-o", refused, "--lang", "zh"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("第 3 行第 3 列"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(refused));  // nothing written on a refusal

    EXPECT_EQ(Cli({"project", "export", mac, "--device", "20"}).exitCode, 2);
    EXPECT_EQ(Cli({"project", "import", json}).exitCode, 2);  // no -o
    EXPECT_EQ(Cli({"project", "export", dir / "missing.mac"}).exitCode, 3);
}

}  // namespace
}  // namespace corvix
