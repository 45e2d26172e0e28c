// SPDX-License-Identifier: Apache-2.0
// Project > Compare With File…: the compare window against a device of a project file (.mac
// or its JSON text), the current device against the same slot or a chosen device of the file.
#include <QFileDialog>
#include <QStringList>
#include <memory>

#include "model/diff_sides.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "ui/dialogs/comparedlg.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/frame/mainframe.h"
#include "ui/views/maclistview.h"

using namespace corvix;

void CMainFrame::OnCompareWithFile() {
    const int lang = doc_.Language();
    const int count = doc_.Project().DeviceCountClamped();
    if (compareWindow) return;
    if (!doc_.ProjectOpen() || count == 0) {
        ShowMessage(Pick(txt::CompareNoProject, lang), Pick(txt::CompareFileCaption, lang));
        return;
    }
    std::optional<std::string> path;
    if (askComparePath) {
        path = askComparePath();
    } else {
        const QString chosen = QFileDialog::getOpenFileName(this, ui::Text(txt::CompareFileCaption, lang), QString(),
                                                            ui::Text(txt::CompareFileFilter, lang));
        if (!chosen.isEmpty()) path = QFile::encodeName(chosen).toStdString();
    }
    if (!path) return;
    SideLoad load = LoadSide({*path, std::nullopt}, lang);
    if (load.problem != SideProblem::None) {
        ShowMessage(load.message, Pick(txt::CompareFileCaption, lang));
        return;
    }
    // The file's devices: every slot of a project in its count, or the one a device text holds.
    std::vector<int> fileSlots;
    if (load.side.device)
        fileSlots.push_back(*load.side.device);
    else
        for (int slot = 0; slot < load.side.block->DeviceCountClamped(); ++slot) fileSlots.push_back(slot);
    if (fileSlots.empty()) {
        ShowMessage(Pick(txt::CompareFileNoDevices, lang), Pick(txt::CompareFileCaption, lang));
        return;
    }

    const int32_t deviceCode = IsDeviceKind(doc_.CurrentDeviceId()) ? doc_.CurrentDeviceId() : KindDeviceFirst;
    const int index = std::min(deviceCode - KindDeviceFirst, count - 1);
    QStringList names;
    int selected = 0;
    for (std::size_t i = 0; i < fileSlots.size(); ++i) {
        const std::string name = GbkToUtf8(FieldText(load.side.block->devices[fileSlots[i]].name, DeviceNameSize));
        names << QStringLiteral("%1  %2").arg(fileSlots[i]).arg(QString::fromStdString(PrintableText(name)));
        if (fileSlots[i] == index) selected = static_cast<int>(i);
    }
    // The file stays in memory while the window is open; modal, like Compare With Device.
    std::shared_ptr<const ProjectBlock> file(std::move(load.side.block));
    CCompareDlg dialog(doc_, index, lang, this, CCompareDlg::Against::File);
    compareWindow = &dialog;
    const auto compareWith = [&dialog, file, fileSlots](int chosen) {
        if (chosen < 0 || chosen >= static_cast<int>(fileSlots.size())) return;
        dialog.SetDeviceRecord(std::make_shared<const DeviceRecord>(file->devices[fileSlots[chosen]]));
    };
    dialog.SetFileDevices(names, selected);
    compareWith(selected);
    connect(&dialog, &CCompareDlg::FileDeviceChosen, this, compareWith);
    connect(&dialog, &CCompareDlg::ProjectChanged, this, [this, index] {
        const int32_t page = doc_.CurrentPage();
        const bool configPage = page == KindDeviceAddress || page == KindPortB1 || page == KindPortB2 ||
                                page == KindSignalNames || page == KindTimeSync;
        if (configPage && doc_.CurrentDeviceId() == KindDeviceFirst + index) list_->ShowPage();
        UpdateCommandStates();
    });
    if (runModal)
        runModal(dialog);
    else
        dialog.exec();
    compareWindow = nullptr;
}
