// SPDX-License-Identifier: Apache-2.0
#include "app/brondale_app.h"

#include <QApplication>
#include <QSettings>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/comm_link.h"
#include "model/doc.h"
#include "model/texts.h"
#include "model/version.h"
#include "ui/frame/icons.h"
#include "ui/frame/mainframe.h"
#include "ui/frame/startup.h"
#include "ui/qt_user_interface.h"

int CBrondaleApp::Run(int argc, char** argv) {
    // --help needs no display, so it is answered before the GUI starts.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(corvix::ui::UsageText().c_str(), stdout);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvix");
    QApplication::setOrganizationName("Corvix");
    QApplication::setWindowIcon(corvix::ui::AppIcon());
    // Lets the desktop match the window to the installed entry (its name, icon and types).
    QGuiApplication::setDesktopFileName(CORVIX_APP_ID);

    // Qt has taken its own options out of the arguments by now.
    std::vector<std::string> args;
    const QStringList all = QApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all.at(i).toLocal8Bit().toStdString());
    const corvix::ui::StartOptions options = corvix::ui::ParseCommandLine(args);
    if (!options.error.empty()) {
        std::fprintf(stderr, "corvix: %s\n\n%s", options.error.c_str(), corvix::ui::UsageText().c_str());
        return 2;
    }

    // ~/.config/Corvix/Corvix.conf: the recent-file list, the serial settings last confirmed
    // in PC Serial Port, the reconnect switch, and the communication log's options (time
    // stamps, automatic log). Each part keeps its own keys where it reads them.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Corvix", "Corvix");
    corvix::CBrondaleDoc doc;
    corvix::ui::QtUserInterface ui;
    std::unique_ptr<corvix::ui::DemoSession> demo;
    CMainFrame frame(doc, ui, &settings);
    ui.SetParent(&frame);

    // A file that cannot be imported has shown its message; the program starts without a project.
    if (!options.projectPath.empty()) frame.ImportAtStart(options.projectPath);
    if (options.demo) {
        std::string error;
        demo = corvix::ui::DemoSession::Start(frame, &error);
        if (!demo) ui.ShowMessage(error, corvix::txt::AppName);
    }

    frame.show();
    const int result = app.exec();
    // The link closes before the simulated device goes away.
    frame.Link().CloseLink();
    demo.reset();
    return result;
}
