// press-button: waits for a dialog of any process to open, by its caption, and presses one of
// its buttons, as a user's click would. For tests of programs that open the module's dialogs
// (the renderer's --dialog).
//
//   press-button CAPTION BUTTON_ID [SECONDS]      exit 0 when pressed, 1 when the dialog never came
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        std::fprintf(stderr, "usage: press-button CAPTION BUTTON_ID [SECONDS]\n");
        return 2;
    }
    const int button = _wtoi(argv[2]);
    const DWORD patience = (argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 60) * 1000;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < patience) {
        HWND dialog = FindWindowW(L"#32770", argv[1]);
        HWND control = dialog ? GetDlgItem(dialog, button) : nullptr;
        if (control && IsWindowVisible(dialog)) {
            // A moment for the dialog to finish its start, then the click.
            Sleep(300);
            PostMessageW(control, BM_CLICK, 0, 0);
            return 0;
        }
        Sleep(100);
    }
    std::fprintf(stderr, "press-button: no dialog \"%ls\" with button %d\n", argv[1], button);
    return 1;
}
