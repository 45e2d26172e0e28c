// Catalog section: dialogs texts. Included through model/texts.h.
#pragma once

namespace corvix::txt {

}  // namespace corvix::txt
