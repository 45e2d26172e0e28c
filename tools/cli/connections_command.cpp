// SPDX-License-Identifier: Apache-2.0
// corvix-cli project connect | connections: a device's own port, kept beside the project.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/project_ops_command.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix::cli {
namespace {

constexpr const char* kConnectUsage =
    "usage: corvix-cli project connect FILE --device N --port P [--baud B] [--parity none|even|odd]\n"
    "                                  [--data-bits 8|9] [--stop-bits 1|1.5|2]\n"
    "       corvix-cli project connect FILE --device N --common\n"
    "Gives device N (0-based) of FILE its own port and line settings (defaults 57600 8N1), or\n"
    "with --common takes them away so that the device uses the common port. They are kept in\n"
    "FILE's connections file (NAME.corvix.json beside NAME.mac); FILE itself is not changed.\n";

constexpr const char* kConnectionsUsage =
    "usage: corvix-cli project connections FILE [--json] [--lang zh|en]\n"
    "Lists the devices of FILE with their own port and line settings, or the common port.\n"
    "--json prints {\"devices\": [{\"device\", \"name\", \"port\", \"baud\", \"dataBits\",\n"
    "\"stopBits\", \"parity\"}]} with \"port\": null for a device on the common port.\n";

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli project: %s\n\n%s", error.c_str(), usage);
    return ExitUsage;
}

bool ParseInt(const std::string& text, int& out) {
    try {
        std::size_t used = 0;
        const long v = std::stol(text, &used);
        if (used != text.size() || v < 0 || v > 100000000) return false;
        out = static_cast<int>(v);
        return true;
    } catch (...) {
        return false;
    }
}

bool Load(CBrondaleDoc& doc, CliUserInterface& ui, const std::string& path) {
    doc.SetUserInterface(&ui);
    return doc.ImportProjectFrom(path);
}

}  // namespace

int RunConnectionsCommand(const std::vector<std::string>& args) {
    const std::string sub = args[0];
    const bool connect = sub == "connect";
    const char* usage = connect ? kConnectUsage : kConnectionsUsage;
    std::vector<std::string> positional;
    std::optional<int> device;
    DeviceConnection line;
    bool havePort = false, common = false, json = false;
    int lang = LangEnglish;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            std::fputs(usage, stdout);
            return ExitOk;
        }
        const bool takesValue = a == "--device" || a == "--port" || a == "--baud" || a == "--parity" ||
                                a == "--data-bits" || a == "--stop-bits" || a == "--lang";
        if (takesValue && i + 1 >= args.size()) return Usage(usage, a + " needs a value");
        const std::string value = takesValue ? args[++i] : std::string();
        int n = 0;
        if (a == "--lang" && ParseLanguage(value)) {
            lang = *ParseLanguage(value);
        } else if (connect && a == "--device" && ParseInt(value, n)) {
            device = n;
        } else if (connect && a == "--port" && !value.empty()) {
            line.port = value;
            havePort = true;
        } else if (connect && a == "--baud" && ParseInt(value, n) && n > 0) {
            line.baudRate = n;
        } else if (connect && a == "--data-bits" && (value == "8" || value == "9")) {
            line.dataBits = value == "8" ? 8 : 9;
        } else if (connect && a == "--parity" && ParityCodeOf(value)) {
            line.parity = *ParityCodeOf(value);
        } else if (connect && a == "--stop-bits" && StopBitsCodeOf(value)) {
            line.stopBits = *StopBitsCodeOf(value);
        } else if (connect && a == "--common") {
            common = true;
        } else if (!connect && a == "--json") {
            json = true;
        } else if (takesValue) {
            return Usage(usage, "bad value '" + value + "' for " + a);
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(usage, "unknown option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return Usage(usage, "expected one project FILE");
    if (connect && !device) return Usage(usage, "--device N is required");
    if (connect && havePort == common) return Usage(usage, "give either --port P or --common");

    CBrondaleDoc doc;
    doc.SetLanguage(lang);
    CliUserInterface ui;
    if (!Load(doc, ui, positional[0])) return ExitFile;
    const ProjectBlock& project = doc.Project();
    if (connect) {
        if (*device >= project.DeviceCountClamped())
            return Usage(usage, "the project has no device " + std::to_string(*device) + " (it has " +
                                    std::to_string(project.DeviceCountClamped()) + ")");
        if (common)
            doc.Connections().Clear(project, *device);
        else
            doc.Connections().Set(project, *device, line);
        std::string reason;
        if (!doc.Connections().SaveFor(positional[0], project, &reason)) {
            char text[2048];
            std::snprintf(text, sizeof text, Pick(txt::ConnectionsWriteFailed, lang),
                          ProjectConnections::SidecarPath(positional[0]).c_str(), reason.c_str());
            std::fprintf(stderr, "corvix-cli: %s\n", text);
            return ExitFile;
        }
        return ExitOk;
    }
    nlohmann::ordered_json out{{"devices", nlohmann::ordered_json::array()}};
    for (int slot = 0; slot < project.DeviceCountClamped(); ++slot) {
        const std::string name = GbkToUtf8(FieldText(project.devices[slot].name, DeviceNameSize));
        const std::optional<DeviceConnection> c = doc.Connections().For(project, slot);
        if (json) {
            nlohmann::ordered_json row{{"device", slot}, {"name", name}, {"port", nullptr}};
            if (c) {
                row["port"] = c->port;
                row["baud"] = c->baudRate;
                row["dataBits"] = c->dataBits;
                row["stopBits"] = StopBitsName(c->stopBits);
                row["parity"] = ParityName(c->parity);
            }
            out["devices"].push_back(row);
        } else if (c) {
            std::printf("%d\t%s\t%s\t%d %d %s %s\n", slot, PrintableText(name).c_str(), c->port.c_str(), c->baudRate,
                        c->dataBits, ParityName(c->parity), StopBitsName(c->stopBits));
        } else {
            std::printf("%d\t%s\t(%s)\n", slot, PrintableText(name).c_str(), Pick(txt::ConnectionsCommonPort, lang));
        }
    }
    if (json) std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

}  // namespace corvix::cli
