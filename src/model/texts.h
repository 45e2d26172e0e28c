// SPDX-License-Identifier: Apache-2.0
// The bilingual text catalog: every user-visible text, Chinese and English side by side
// (UTF-8 here; record texts become GBK only when stored). Ask with the current uiLanguage
// at the moment the text is built.
#pragma once

#include "model/record.h"

namespace corvix {

struct BiText {
    const char* zh;
    const char* en;
};

inline const char* Pick(const BiText& t, int uiLanguage) { return IsEnglish(uiLanguage) ? t.en : t.zh; }

}  // namespace corvix

// Sections of the catalog, one per area of the program, all in namespace corvix::txt.
#include "model/texts_model.h"
#include "model/texts_link.h"
#include "model/texts_net.h"
#include "model/texts_ui.h"
#include "model/texts_list.h"
#include "model/texts_dialogs.h"
#include "model/texts_records.h"
#include "model/texts_session.h"
#include "model/texts_report.h"
#include "model/texts_text.h"
#include "model/texts_diff.h"
#include "model/texts_sheets.h"
#include "model/texts_capture.h"
#include "model/texts_capture_file.h"
#include "model/texts_history.h"
#include "model/texts_ops.h"
