// ui-screenshots: pictures of the module's real dialogs for the documentation. Loads the module,
// puts a DV clip on the emulated host's timeline, opens the settings dialog through setup and
// takes a picture of each tab, of the timecode page, of the picture list editor and of the About
// box as a user sees them, then cancels (nothing is saved).
//
//   ui-screenshots --module fl-Camtag.prm --clip CLIP.avi --picture FRAME.bgra WxH --out FOLDER
//
// FRAME.bgra is the clip's first frame as 32-bit BGRA rows, bottom row first (the host's frame
// layout), that the host delivers to the preview.
#include "DialogDriver.h"
#include "FilterSession.h"
#include "WindowPicture.h"

#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace camtag;

namespace {

struct Options {
    std::wstring module;
    std::wstring clip;
    std::wstring picture;
    int width = 0;
    int height = 0;
    std::wstring out;
};

bool ParseOptions(int argc, wchar_t** argv, Options* o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--module")
            o->module = argv[i + 1];
        else if (name == L"--clip")
            o->clip = argv[i + 1];
        else if (name == L"--out")
            o->out = argv[i + 1];
        else if (name == L"--picture" && i + 2 < argc) {
            o->picture = argv[i + 1];
            if (std::swscanf(argv[i + 2], L"%dx%d", &o->width, &o->height) != 2)
                return false;
            ++i;
        } else
            return false;
    }
    return !o->module.empty() && !o->clip.empty() && !o->out.empty() && !o->picture.empty() &&
           o->width > 0 && o->height > 0;
}

bool ReadPicture(const Options& o, std::vector<uint32_t>* pixels) {
    std::ifstream in(o.picture.c_str(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != static_cast<size_t>(o.width) * o.height * 4)
        return false;
    pixels->resize(bytes.size() / 4);
    std::memcpy(pixels->data(), bytes.data(), bytes.size());
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fprintf(stderr, "usage: ui-screenshots --module PRM --clip AVI --picture FRAME.bgra "
                             "WxH --out FOLDER\n");
        return 2;
    }
    std::vector<uint32_t> picture;
    if (!ReadPicture(o, &picture)) {
        std::fprintf(stderr, "ui-screenshots: %s is not a %dx%d BGRA frame\n",
                     Utf8(o.picture).c_str(), o.width, o.height);
        return 1;
    }
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    // A user's own date pictures, so that the list editor and the date list show some (the
    // tool's prefix is its own; the module reads the lists when it loads).
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Veltro\\Camtag\\3.0", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const char* pictures[][2] = {{"df02", "d MMMM yyyy"}, {"df03", "dddd, d.M.yyyy"}};
        for (auto& p : pictures)
            RegSetValueExA(key, p[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(p[1]),
                           static_cast<DWORD>(std::strlen(p[1]) + 1));
        RegCloseKey(key);
    }

    FilterSession session;
    std::string error;
    SessionClip clip;
    clip.sourcePathUtf8 = Utf8(o.clip);
    clip.width = o.width;
    clip.height = o.height;
    clip.scale = o.height == 576 ? 25 : 30000;
    clip.sampleSize = o.height == 576 ? 1 : 1001;
    clip.frames = 100;
    if (!session.load(o.module, &error) || !session.start(clip, &error)) {
        std::fprintf(stderr, "ui-screenshots: %s\n", error.c_str());
        return 1;
    }
    session.execute(0); // the clip is found, as when an editor has rendered it once
    session.setClipPicture(std::move(picture), o.width, o.height);

    int failures = 0;
    auto shot = [&](HWND window, const wchar_t* name) {
        const std::wstring path = o.out + L"\\" + name;
        if (!SavePng(PictureOf(window), path)) {
            std::fprintf(stderr, "ui-screenshots: cannot write %s\n", Utf8(path).c_str());
            ++failures;
        }
    };
    HWND dialog = nullptr;
    HWND about = nullptr;
    HWND editor = nullptr;
    auto page = [&dialog] {
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            WCHAR cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(child))
                return child;
        }
        return HWND{};
    };
    auto tick = [] { return true; }; // one tick for a paint to land
    DialogScript script;
    script.WaitFor(L"Camtag Settings", &dialog)
        .Until(tick)
        .Then([&] { shot(dialog, L"dialog.png"); })
        .Then([&] { PickTab(dialog, 1052, 1); })
        .Until(tick)
        .Then([&] { shot(dialog, L"dialog-format.png"); })
        .Then([&] { PickTab(dialog, 1052, 2); })
        .Until(tick)
        .Then([&] { shot(dialog, L"dialog-position.png"); })
        .Then([&] { PickTab(dialog, 1052, 0); })
        .Then([&] { PickItem(dialog, 1048, 1); })
        .Until(tick)
        .Then([&] { shot(dialog, L"dialog-timecode.png"); })
        .Then([&] { PickItem(dialog, 1048, 0); })
        .Until(tick)
        .Then([&] { Click(page(), 1030); })
        .WaitFor(L"Date Format", &editor)
        .Until(tick)
        .Then([&] { shot(editor, L"format-list-editor.png"); })
        .Then([&] { Click(editor, IDCANCEL); })
        .WaitGone(L"Date Format")
        .Then([&] { Click(dialog, 20); })
        .WaitFor(L"About Camtag", &about)
        .Until([] { return true; })
        .Then([&] { shot(about, L"about.png"); })
        .Then([&] { Click(about, IDOK); })
        .WaitGone(L"About Camtag")
        .Then([&] { Click(dialog, IDCANCEL); });
    script.OnGiveUp([&](const std::string& why) {
        std::fprintf(stderr, "ui-screenshots: %s\n", why.c_str());
        ++failures;
    });
    script.Start();
    session.openSettings();
    script.Stop();
    if (!script.Completed())
        ++failures;
    Gdiplus::GdiplusShutdown(token);
    return failures ? 1 : 0;
}
