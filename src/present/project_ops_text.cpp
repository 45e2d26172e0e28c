// SPDX-License-Identifier: Apache-2.0
#include "present/project_ops_text.h"

#include <cstdio>

#include "model/gbk.h"
#include "model/texts.h"
#include "present/clock_offset_text.h"

namespace corvix {
namespace {

std::string Printf(const char* format, const std::string& s) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, s.c_str());
    return buffer;
}

std::string Printf(const char* format, long long n) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, static_cast<int>(n));
    return buffer;
}

}  // namespace

const char* DeviceOpStateName(DeviceOpState state) {
    static const char* const names[] = {"waiting", "connecting", "working", "done", "failed", "skipped"};
    return names[static_cast<int>(state)];
}

std::string DeviceOpStateText(DeviceOpState state, int lang) { return Pick(txt::OpStates[static_cast<int>(state)], lang); }

std::string DeviceOpReasonText(const DeviceOpResult& result, const std::string& port, int lang) {
    const BiText& text = txt::OpFailures[static_cast<int>(result.failure)];
    switch (result.failure) {
        case DeviceOpFailure::None:
            return {};
        case DeviceOpFailure::PortOpen:
            return Printf(Pick(text, lang), port);
        case DeviceOpFailure::WrongAddress:
            return Printf(Pick(text, lang), result.answeredAddress);
        default:
            return Pick(text, lang);
    }
}

std::string DeviceOpOutcomeText(ProjectOpKind kind, const DeviceOpResult& result, const std::string& port,
                                int differences, int lang) {
    if (result.state != DeviceOpState::Done) return DeviceOpReasonText(result, port, lang);
    switch (kind) {
        case ProjectOpKind::Read:
            return Pick(txt::OpResultRead, lang);
        case ProjectOpKind::Compare:
            return differences == 0 ? Pick(txt::OpResultEqual, lang) : Printf(Pick(txt::OpResultDiffers, lang), differences);
        case ProjectOpKind::Write:
            return Pick(txt::OpResultWritten, lang);
        case ProjectOpKind::ClockCheck:
        case ProjectOpKind::ClockSet:
            return Printf(Pick(kind == ProjectOpKind::ClockSet ? txt::OpResultClockSet : txt::OpResultOffset, lang),
                          result.offsetMs ? ClockOffsetText(*result.offsetMs, lang) : std::string("?"));
        case ProjectOpKind::EventLog:
            return Printf(Pick(txt::OpResultEvents, lang), result.record ? result.record->EventCountClamped() : 0);
    }
    return {};
}

std::string DeviceOpSummaryText(const std::vector<DeviceOpResult>& results, int lang) {
    int done = 0, failed = 0, skipped = 0;
    for (const DeviceOpResult& r : results) {
        done += r.state == DeviceOpState::Done;
        failed += r.state == DeviceOpState::Failed;
        skipped += r.state == DeviceOpState::Skipped;
    }
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, Pick(txt::OpSummary, lang), done, failed, skipped,
                  static_cast<int>(results.size()));
    return buffer;
}

std::string GuidePromptText(const DeviceTarget& target, int lang) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, Pick(txt::OpGuidePrompt, lang),
                  PrintableText(GbkToUtf8(target.nameGbk)).c_str(), target.address);
    return buffer;
}

}  // namespace corvix
