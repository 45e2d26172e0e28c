// SPDX-License-Identifier: Apache-2.0
// What a failed project command says to a person, and the user-interface base that says it
// through ShowMessage, so every front end reports a problem with the same text.
#pragma once

#include "model/doc.h"
#include "present/link_messages.h"

namespace corvix {

UserMessage ProjectProblemMessage(ProjectProblem problem, int lang);

class PresentingUserInterface : public IUserInterface {
  public:
    void ReportProblem(ProjectProblem problem, int uiLanguage) override {
        const UserMessage m = ProjectProblemMessage(problem, uiLanguage);
        ShowMessage(m.text, m.caption);
    }
};

}  // namespace corvix
