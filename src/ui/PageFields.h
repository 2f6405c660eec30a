// What more than one page stores the same way into the working copy.
#pragma once

#include "settings/FilterSettings.h"

#include <windows.h>

#include <cstdint>

namespace camtag {

// The user's text: the page's text edit, at most 31 characters, into the 32-byte title.
void StoreTitle(HWND page, FilterSettings& working);

// Sets or clears the bits of `mask` in a settings field.
inline void SetBits(int32_t& field, int32_t mask, bool on) {
    field = on ? (field | mask) : (field & ~mask);
}

// Whether a check box or radio button reports itself checked.
inline bool Checked(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

} // namespace camtag
