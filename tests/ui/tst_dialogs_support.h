// SPDX-License-Identifier: Apache-2.0
// Shared by the dialog tests: modal dialogs of the main window answered in place, and reply
// frames built as a device would.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "ui/frame/mainframe.h"

namespace corvix::test {

// Every modal dialog the frame runs is shown, handed to the next answer (which drives its
// widgets and usually presses a button), and cancelled if the answer left it open.
class ModalScript {
  public:
    explicit ModalScript(CMainFrame& frame) {
        frame.runModal = [this](QDialog& dialog) { return Run(dialog); };
    }
    std::deque<std::function<void(QDialog&)>> answers;
    std::vector<QString> captions;  // caption of every dialog run, in order

  private:
    int Run(QDialog& dialog) {
        dialog.show();
        captions.push_back(dialog.windowTitle());
        if (!answers.empty()) {
            std::function<void(QDialog&)> answer = std::move(answers.front());
            answers.pop_front();
            answer(dialog);
        }
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
};

// A reply frame from device address 1 with the given data.
inline std::vector<uint8_t> ReplyFrame(uint8_t control, uint16_t segment, uint8_t function,
                                       const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame(MaxFrameSize);
    const std::size_t size =
        BuildFrame(frame.data(), control, segment, 1, TYPE_DATA, function, data.data(), data.size());
    frame.resize(size);
    return frame;
}

// A new-events reply (segment 0: four bytes ahead of the events).
inline std::vector<uint8_t> NewEventsReply(const std::vector<WireEvent>& events) {
    std::vector<uint8_t> data(EventSegmentPrefix, 0);
    for (const WireEvent& e : events) {
        uint8_t wire[WireEventSize];
        EncodeWireEvent(e, wire);
        data.insert(data.end(), wire, wire + WireEventSize);
    }
    return ReplyFrame(CTRL_LAST, 0, FC_NEW_EVENTS, data);
}

inline WireEvent MakeEvent(const char* name, int year, int month, int day, int hour, int minute, int second,
                           int millisecond, bool offToOn) {
    WireEvent e;
    for (int i = 0; i < 31 && name[i] != '\0'; ++i) e.designation[i] = name[i];
    e.year = static_cast<uint16_t>(year);
    e.month = static_cast<uint8_t>(month);
    e.day = static_cast<uint8_t>(day);
    e.hour = static_cast<uint8_t>(hour);
    e.minute = static_cast<uint8_t>(minute);
    e.second = static_cast<uint8_t>(second);
    e.millisecond = static_cast<uint16_t>(millisecond);
    e.direction = offToOn ? DirectionOffToOn : 0;
    return e;
}

}  // namespace corvix::test
