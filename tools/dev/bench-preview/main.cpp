// bench-preview: the time of one redraw of the settings dialog's preview (the 360 x 266 control,
// date mode, outline, shadow and box on), as the dialog makes it after each edit: the host renders
// the clip's frame at 360 pixels wide, the text is composed, drawn and stretched to the control.
// Opens the module's real dialog through setup and has it draw the preview N times.
//
//   bench-preview --module fl-Camtag.prm --clip PAL-DV.avi [--draws N]
#include "DialogDriver.h"
#include "FilterSession.h"
#include "WindowPicture.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace camtag;

namespace {

// Has the dialog draw its preview into a 32-bit picture of the control's size, as WM_DRAWITEM
// does on screen; the milliseconds it took.
double DrawPreview(HWND dialog, HDC dc, const RECT& area) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.CtlID = 1000;
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = GetDlgItem(dialog, 1000);
    item.hDC = dc;
    item.rcItem = area;
    const double start = PerformanceSeconds();
    SendMessageW(dialog, WM_DRAWITEM, 1000, reinterpret_cast<LPARAM>(&item));
    GdiFlush();
    return (PerformanceSeconds() - start) * 1000.0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring module, clipPath;
    int draws = 300;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--module")
            module = argv[i + 1];
        else if (name == L"--clip")
            clipPath = argv[i + 1];
        else if (name == L"--draws")
            draws = std::max(10, _wtoi(argv[i + 1]));
    }
    if (module.empty() || clipPath.empty()) {
        std::fprintf(stderr, "usage: bench-preview --module PRM --clip PAL-DV.avi [--draws N]\n");
        return 2;
    }
    FilterSession session;
    std::string error;
    SessionClip clip;
    clip.sourcePathUtf8 = Utf8(clipPath);
    clip.frames = 100;
    if (!session.load(module, &error) || !session.start(clip, &error)) {
        std::fprintf(stderr, "bench-preview: %s\n", error.c_str());
        return 1;
    }
    session.execute(0); // the clip is found, as once an editor has rendered it
    FilterSettings* s = session.settings();
    s->mode = kModeDateTime;
    s->drawoutline = s->drawshadow = s->bkground = 1;
    // The host delivers a grey frame at the preview's size.
    session.setClipPicture(std::vector<uint32_t>(720 * 576, 0xFF808080u), 720, 576);

    std::vector<double> ms;
    HWND dialog = nullptr;
    DialogScript script;
    script.WaitFor(L"Camtag Settings", &dialog)
        .Then([&] {
            RECT area{};
            GetClientRect(GetDlgItem(dialog, 1000), &area);
            DibCanvas canvas(area.right, area.bottom);
            for (int i = 0; i < 20; ++i)
                DrawPreview(dialog, canvas.dc(), area); // warm-up
            for (int i = 0; i < draws; ++i)
                ms.push_back(DrawPreview(dialog, canvas.dc(), area));
        })
        .Then([&] { Click(dialog, IDCANCEL); });
    script.Start();
    session.openSettings();
    script.Stop();
    if (ms.empty()) {
        std::fprintf(stderr, "bench-preview: the dialog did not open\n");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    std::printf("preview redraw, 360x266 control, date mode, all layers: median %.2f ms, p10 %.2f "
                "ms, p90 %.2f ms "
                "(%zu draws)\n",
                at(0.5), at(0.1), at(0.9), ms.size());
    return 0;
}
