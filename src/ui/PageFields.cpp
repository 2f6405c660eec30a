#include "ui/PageFields.h"

#include "resources/ResourceIds.h"
#include "ui/ControlText.h"

#include <cstring>

namespace camtag {

void StoreTitle(HWND page, FilterSettings& working) {
    char text[sizeof working.title];
    ControlText(page, IDC_PAGE_TITLE, text, sizeof text, static_cast<int>(sizeof text) - 1);
    std::memset(working.title, 0, sizeof working.title);
    std::memcpy(working.title, text, std::strlen(text));
}

} // namespace camtag
