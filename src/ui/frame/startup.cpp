// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/startup.h"

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>

#include "link/comm_link.h"
#include "model/doc.h"
#include "model/texts.h"
#include "ui/frame/mainframe.h"
#include "ui/views/macview.h"

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

DemoSession::DemoSession() : process_(std::make_unique<QProcess>()) {}

DemoSession::~DemoSession() {
    if (process_->state() == QProcess::NotRunning) return;
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

std::unique_ptr<DemoSession> DemoSession::Start(CMainFrame& frame, std::string* error) {
    std::unique_ptr<DemoSession> session(new DemoSession);
    const int lang = frame.Doc().Language();
    auto fail = [&](const QString& why) {
        if (error) *error = std::string(Pick(txt::DemoStartFailed, lang)) + ": " + why.toStdString();
        return nullptr;
    };
    // Installed or built, the simulator sits beside the program; else look in PATH.
    QString program = QCoreApplication::applicationDirPath() + "/corvix-devsim";
    if (!QFileInfo(program).isExecutable()) program = QStandardPaths::findExecutable("corvix-devsim");
    if (program.isEmpty()) return fail("corvix-devsim not found");
    QStringList args;
    if (IsEnglish(lang)) args << "--english";
    QProcess& process = *session->process_;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The device goes with the program, even when the program is killed.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start(program, args);
    if (!process.waitForStarted(5000)) return fail(process.errorString());
    // Its first line is the path of the pseudo-terminal it serves.
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000)) return fail(QString("%1 gave no device path").arg(program));
    }
    session->devicePath_ = QString::fromLocal8Bit(process.readLine()).trimmed().toStdString();
    if (session->devicePath_.empty()) return fail("empty device path");

    frame.Link().settings.portName = session->devicePath_;
    CBrondaleDoc& doc = frame.Doc();
    doc.NewProject();
    doc.Device(0).address = DeviceAddress;
    // A throw-away project: nothing to ask about at exit until the user changes it.
    doc.SetModified(0);
    // A newcomer sees the device's live input states first, not an empty list.
    if (QTreeWidgetItem* status = frame.Tree()->FindNode(KindInputStatus)) {
        if (status->parent() != nullptr) status->parent()->setExpanded(true);
        frame.Tree()->setCurrentItem(status, 0, QItemSelectionModel::ClearAndSelect);
        frame.Tree()->scrollToItem(status);
    }
    frame.RunCommand(CMainFrame::IdConnect);
    frame.UpdateCommandStates();
    return session;
}

}  // namespace corvix::ui
