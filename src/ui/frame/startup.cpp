#include "ui/frame/startup.h"

#include "devsim/sim_server.h"
#include "link/comm_link.h"
#include "model/doc.h"
#include "model/texts.h"
#include "ui/frame/mainframe.h"

namespace corvix::ui {

StartOptions ParseCommandLine(const std::vector<std::string>& args) {
    StartOptions options;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!optionsEnded && arg == "--demo") {
            options.demo = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            options.error = std::string(Pick(txt::AppUnknownOption, LangEnglish)) + arg;
            return options;
        } else if (options.projectPath.empty()) {
            options.projectPath = arg;
        } else {
            // One document at a time, as the program holds one project.
            options.error = std::string(Pick(txt::AppOneProjectOnly, LangEnglish)) + arg;
            return options;
        }
    }
    return options;
}

std::string UsageText() {
    return std::string(Pick(txt::AppUsage, LangEnglish)) + "\n" + Pick(txt::AppUsage, LangChinese);
}

DemoSession::~DemoSession() {
    if (server_) server_->Stop();
}

std::unique_ptr<DemoSession> DemoSession::Start(CMainFrame& frame, std::string* error) {
    std::unique_ptr<DemoSession> session(new DemoSession);
    sim::SimOptions options;
    options.device.uiLanguage = frame.Doc().uiLanguage;
    session->server_ = std::make_unique<sim::SimServer>(options);
    std::string why;
    if (!session->server_->Start(&why)) {
        if (error) *error = std::string(Pick(txt::DemoStartFailed, frame.Doc().uiLanguage)) + ": " + why;
        return nullptr;
    }
    frame.Link().settings.portName = session->server_->DevicePath();
    CBrondaleDoc& doc = frame.Doc();
    doc.NewProject();
    doc.Device(0).address = session->server_->Device().Address();
    // A throw-away project: nothing to ask about at exit until the user changes it.
    doc.modified = 0;
    frame.RunCommand(CMainFrame::IdConnect);
    frame.UpdateCommandStates();
    return session;
}

}  // namespace corvix::ui
