// SPDX-License-Identifier: Apache-2.0
#include "present/port_choices.h"

namespace corvix {

std::string AdapterText(const AdapterNames& adapter) {
    const std::string& maker = adapter.maker;
    const std::string& product = adapter.product;
    if (maker.empty()) return product;
    if (product.empty()) return maker;
    if (product.compare(0, maker.size(), maker) == 0) return product;
    return maker + " " + product;
}

namespace {

std::string WithAdapter(std::string text, const AdapterNames& adapter) {
    const std::string names = AdapterText(adapter);
    if (!names.empty()) text += " (" + names + ")";
    return text;
}

}  // namespace

std::vector<PortChoice> PortChoices(const PortDiscovery& found) {
    std::vector<PortChoice> choices;
    for (const KernelPort& port : found.ports)
        choices.push_back({WithAdapter(port.path, port.adapter), port.path});
    for (const StablePort& port : found.stable)
        choices.push_back({WithAdapter(port.path + " \u2192 " + port.kernelName, port.adapter), port.path});
    return choices;
}

}  // namespace corvix
