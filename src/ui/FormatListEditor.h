// The editor of the user's date or time pictures (template 112): add, change and remove the
// pictures of slots 2 to 6, see each on the sample moment, and save both lists on OK. The lists
// belong to the module and serve every filter instance.
#pragma once

#include "settings/FormatLists.h"

#include <windows.h>

#include <cstddef>

namespace camtag {

// Runs the editor modally, owned by `owner`, for the time list when `which` is the date and
// time page's "Edit time formats" button (1029), else for the date list. 1 after OK, 2 after
// Cancel.
INT_PTR EditFormatList(HWND owner, int which);

INT_PTR CALLBACK FormatListEditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace camtag
