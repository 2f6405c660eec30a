#include "ui/PageFields.h"

#include "resources/ResourceIds.h"
#include "ui/ControlText.h"
#include "ui/DialogState.h"

#include <cstring>

namespace camtag {

void StoreTitle(HWND page) {
    char text[sizeof workingSettings.title];
    ControlText(page, IDC_PAGE_TITLE, text, sizeof text, static_cast<int>(sizeof text) - 1);
    std::memset(workingSettings.title, 0, sizeof workingSettings.title);
    std::memcpy(workingSettings.title, text, std::strlen(text));
}

} // namespace camtag
