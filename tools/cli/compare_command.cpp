// SPDX-License-Identifier: Apache-2.0
#include "cli/compare_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "model/compare.h"
#include "model/texts.h"

namespace corvix::cli {

const char* const kCompareUsage =
    "usage: corvix-cli device compare FILE --device N --port PATH [--json] [options]\n"
    "Reads the device's configuration without changing FILE and prints every value of device\n"
    "N (0-based) of the project FILE that differs from the device's: address, both ports, time\n"
    "synchronisation and the signal names, as the pages show them (page, field, project value,\n"
    "device value). --json prints {\"device\": N, \"equal\": ..., \"differences\": [{\"page\",\n"
    "\"field\", \"project\", \"device\"}, ...]}. Exits 0 when they are equal, 6 when they differ.\n";

namespace {

void PrintJson(int device, const std::vector<Difference>& rows) {
    nlohmann::ordered_json json{
        {"device", device}, {"equal", rows.empty()}, {"differences", nlohmann::ordered_json::array()}};
    for (const Difference& d : rows)
        json["differences"].push_back(
            {{"page", d.pageName}, {"field", d.field}, {"project", d.projectText}, {"device", d.deviceText}});
    std::printf("%s\n", json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

void PrintTable(const std::vector<Difference>& rows, int lang) {
    if (rows.empty()) {
        std::printf("%s\n", Pick(txt::CliCompareEqual, lang));
        return;
    }
    std::printf("%s\t%s\t%s\t%s\n", Pick(txt::CompareColPage, lang), Pick(txt::CompareColField, lang),
                Pick(txt::CompareColProject, lang), Pick(txt::CompareColDevice, lang));
    for (const Difference& d : rows)
        std::printf("%s\t%s\t%s\t%s\n", d.pageName.c_str(), d.field.c_str(), PrintableText(d.projectText).c_str(),
                    PrintableText(d.deviceText).c_str());
}

}  // namespace

int RunCompare(CBrondaleDoc& doc, DeviceSession& session, int device, int lang, bool json) {
    std::shared_ptr<const DeviceRecord> fetched;
    session.onResult = [&fetched](const EngineResult& result) {
        if (const auto* f = std::get_if<ConfigurationFetched>(&result)) fetched = f->record;
    };
    session.Engine().FetchConfiguration();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !fetched) {
        // After the give-up the engine has already said "Can not connect to device".
        if (outcome != DeviceSession::Outcome::GaveUp) {
            std::fprintf(stderr, "corvix-cli: %s\n", Pick(txt::CliNoReply, lang));
            std::fflush(stderr);
        }
        return ExitNoAnswer;
    }
    session.Close();
    const std::vector<Difference> rows = CompareRecords(doc.Device(device), *fetched, lang);
    if (json)
        PrintJson(device, rows);
    else
        PrintTable(rows, lang);
    if (std::fflush(stdout) != 0) return ExitFile;
    return rows.empty() ? ExitOk : ExitDiffers;
}

}  // namespace corvix::cli
