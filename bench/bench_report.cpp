// SPDX-License-Identifier: Apache-2.0
// Time to build and write the settings report of a full project: N devices (default 20),
// each with 72 signal names and 500 stored events, the largest a project file holds. Prints
// wall and CPU time for the report's content, its HTML and (with the GUI build) its PDF.
// Usage: bench_report [devices]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "model/gbk.h"
#include "model/record.h"
#include "present/report.h"
#if CORVIX_BENCH_PDF
#include "ui/report/report_pdf.h"
#endif

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Timed(const char* what, const std::function<void()>& work) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    work();
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    std::printf("%-8s wall %8.3f s   cpu %8.3f s\n", what, wallSeconds, CpuSeconds() - cpu);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvix;
    const int devices = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, MaxDevices) : MaxDevices;
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = devices;
    CopyTextField(project->projectName, ProjectNameSize, Utf8ToGbk("城东变电站").c_str());
    for (int d = 0; d < devices; ++d) {
        DeviceRecord& rec = project->devices[d];
        InitialiseNewDevice(rec, Utf8ToGbk("主变保护 " + std::to_string(d + 1)).c_str(), LangChinese);
        rec.signalCount = MaxSignalNames;
        for (int s = 0; s < MaxSignalNames; ++s)
            CopyTextField(rec.signalNames[s], SignalNameSize,
                          Utf8ToGbk("重瓦斯跳闸 " + std::to_string(s)).c_str());
        rec.eventCount = MaxEvents;
        for (int e = 0; e < MaxEvents; ++e) {
            EventRecord& ev = rec.events[e];
            ev = {};
            ev.year = 2026, ev.month = 12, ev.day = 7, ev.hour = 8, ev.minute = e % 60, ev.millisecond = e;
            CopyTextField(ev.signalName, sizeof ev.signalName, rec.signalNames[e % MaxSignalNames]);
        }
    }
    ReportRequest request;
    request.project = project.get();
    request.projectPath = "/plant/feeders.mac";
    Report report;
    std::string html;
    Timed("content", [&] { report = BuildReport(request); });
    Timed("html", [&] { html = ReportHtml(report); });
    std::printf("%d devices, HTML %zu bytes\n", devices, html.size());
#if CORVIX_BENCH_PDF
    const std::string pdf = "/tmp/bench_report_" + std::to_string(getpid()) + ".pdf";
    bool written = false;
    Timed("pdf", [&] { written = ui::WriteReportPdfHeadless(report, pdf); });
    std::printf("PDF %s\n", written ? "written" : "NOT written");
    unlink(pdf.c_str());
#endif
    return 0;
}
