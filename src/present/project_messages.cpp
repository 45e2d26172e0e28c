// SPDX-License-Identifier: Apache-2.0
#include "present/project_messages.h"

#include "model/texts.h"

namespace corvix {

UserMessage ProjectProblemMessage(ProjectProblem problem, int lang) {
    const BiText* text = &txt::WriteFileError;
    switch (problem) {
        case ProjectProblem::CannotOpenFile:
            text = &txt::CannotOpenFile;
            break;
        case ProjectProblem::FileFormatError:
            text = &txt::FileFormatError;
            break;
        case ProjectProblem::OpenFileError:
            text = &txt::OpenFileError;
            break;
        case ProjectProblem::WriteFileError:
            break;
    }
    return {Pick(*text, lang), txt::AppName};
}

}  // namespace corvix
