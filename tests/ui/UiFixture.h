// The settings user interface as the user meets it: the x86_64 module loaded with LoadLibrary,
// its dialog opened through xFilter setup on a host-emulator timeline over a real DV fixture, and
// driven with window messages by a DialogScript. Each test starts with an empty registry key and
// a freshly loaded module.
#pragma once

#include "HostEmulator.h"
#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"
#include "DialogDriver.h"
#include "WindowPicture.h"
#include "support/ExpectedDrawing.h"
#include "support/RegistryFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace camtag::test {

using XFilterFn = int16_t (*)(int16_t, HostRecordHandle);

// pal-type2-idx1-ffmpeg.avi: every frame recorded 2004-07-15 14:23:05.
inline const std::string& DvFixture() {
    static const std::string path = DataPath("pal-type2-idx1-ffmpeg.avi");
    return path;
}

constexpr wchar_t kSettingsCaption[] = L"Camtag Settings";
constexpr wchar_t kAboutCaption[] = L"About Camtag";
constexpr int kPreviewWidth = 360;
constexpr int kPreviewHeight = 266;

// The picture the emulated host delivers for every clip frame: a colour ramp across and up, so
// that any misplaced, flipped or stretched row or column shows.
inline uint32_t RampPixel(int x, int memoryRow, int width, int height) {
    return 0xFF000000u | static_cast<uint32_t>(x * 255 / width) << 16 |
           static_cast<uint32_t>(memoryRow * 255 / height) << 8 | 0x40u;
}

class UiTest : public ::testing::Test {
protected:
    // Registry values the module must find when it loads (its picture lists are read then).
    virtual void PrepareRegistry() {}
    // The module file to load: the build's own, or a copy placed by the test.
    virtual std::string ModulePath() const { return CAMTAG_MODULE_PATH; }

    void SetUp() override {
        DeleteSettingsKey();
        PrepareRegistry();
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr), Gdiplus::Ok);
        module_ = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(module_, nullptr) << ModulePath();
        xFilter_ = reinterpret_cast<XFilterFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "xFilter")));
        ASSERT_NE(xFilter_, nullptr);
        host.setSourceFrameRenderer(
            [](int32_t, uint8_t* pixels, int32_t width, int32_t height, int32_t rowBytes) {
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const uint32_t p = RampPixel(x, y, width, height);
                        std::memcpy(pixels + static_cast<size_t>(y) * rowBytes + x * 4, &p, 4);
                    }
                return true;
            });
    }

    void TearDown() override {
        EXPECT_EQ(host.outstandingHostFrames(), 0u) << "preview frame not disposed";
        EXPECT_EQ(host.lockedFrames(), 0) << "preview frame left locked";
        EXPECT_EQ(host.outstandingPointers(), 0u);
        EXPECT_EQ(host.outstandingSegments(), 0u);
        if (module_)
            FreeLibrary(module_);
        Gdiplus::GdiplusShutdown(gdiplusToken_);
        DeleteSettingsKey();
    }

    int16_t CallSetup() { return xFilter_(1, host.handle()); }

    // A new instance on a clip of the DV fixture: the first setup call makes its record from the
    // registry defaults, and a first frame finds the clip (as in an editor, where the clip
    // renders before its settings are opened), so that the clip block is current.
    void NewInstance(int32_t sourceIn = 1, const char* file = nullptr) {
        host.addFilteredClip(0, 100, file ? file : DvFixture().c_str(), sourceIn);
        ASSERT_EQ(CallSetup(), 0);
        ASSERT_NE(host.settings(), nullptr);
        source_ = host.makeFrame(kFrameWidth, kFrameHeight, kFrameWidth * 4);
        destination_ = host.makeFrame(kFrameWidth, kFrameHeight, kFrameWidth * 4);
        for (int y = 0; y < kFrameHeight; ++y)
            for (int x = 0; x < kFrameWidth; ++x)
                host.setPixel(source_, x, y, RampPixel(x, y, kFrameWidth, kFrameHeight));
        host.setSource(source_);
        host.setDestination(destination_);
        ASSERT_EQ(xFilter_(0, host.handle()), 0);
    }

    // Executes clip frame `frame` as the host renders it: the frame that comes back, and the one
    // the renderer draws with the record's settings and `text` (both width x rows, rows in memory
    // order).
    std::vector<uint32_t> RenderedFrame(int32_t frame) {
        host.setPosition(frame);
        EXPECT_EQ(xFilter_(0, host.handle()), 0);
        return FramePixels(destination_);
    }
    std::vector<uint32_t> ExpectedRenderedFrame(const char* text) {
        return ExpectedFrame(FramePixels(source_), kFrameWidth, *host.settings(), text);
    }

    // Opens the dialog through setup with the script running inside it; the setup's result.
    int16_t RunDialog(DialogScript& script) {
        script.OnGiveUp([](const std::string& why) { ADD_FAILURE() << why; });
        script.Start();
        const int16_t result = CallSetup();
        // Steps after the dialog has closed (waiting for it to go) run here.
        const DWORD start = GetTickCount();
        while (!script.Completed() && GetTickCount() - start < 3000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        script.Stop();
        EXPECT_TRUE(script.Completed()) << "the dialog script did not run to its end";
        return result;
    }

    // The page the settings dialog shows now (its visible child dialog), or null.
    static HWND CurrentPage(HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            WCHAR cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(child))
                return child;
        }
        return nullptr;
    }

    // Opens the dialog on `tab`, runs `steps` on its page (dialog and page given), then presses
    // OK or Cancel; the setup call must succeed.
    void OnPage(int tab, const std::function<void(DialogScript&, HWND&, HWND&)>& steps,
                int finish = IDOK) {
        HWND dialog = nullptr;
        HWND page = nullptr;
        DialogScript script;
        script.WaitFor(kSettingsCaption, &dialog)
            .Then([&] { PickTab(dialog, 1052, tab); })
            .Until([&] { return (page = CurrentPage(dialog)) != nullptr; });
        steps(script, dialog, page);
        script.Then([&] { Click(dialog, finish); }).WaitGone(kSettingsCaption);
        ASSERT_EQ(RunDialog(script), 0);
    }

    // What the preview control shows, drawn through the dialog's own WM_DRAWITEM into a 32-bit
    // picture of the control's client size (rows top first).
    static std::vector<uint32_t> CapturePreview(HWND dialog) {
        HWND preview = GetDlgItem(dialog, 1000);
        RECT client{};
        GetClientRect(preview, &client);
        DibCanvas canvas(client.right, client.bottom);
        // The gaps of dotted lines show the device context's background: white, as a control's.
        FillRect(canvas.dc(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.CtlID = 1000;
        item.itemAction = ODA_DRAWENTIRE;
        item.hwndItem = preview;
        item.hDC = canvas.dc();
        item.rcItem = client;
        SendMessageW(dialog, WM_DRAWITEM, 1000, reinterpret_cast<LPARAM>(&item));
        return canvas.Pixels();
    }

    // The preview of a settings dialog opened on the instance and then cancelled.
    std::vector<uint32_t> PreviewOfNewDialog() {
        std::vector<uint32_t> shown;
        HWND dialog = nullptr;
        DialogScript script;
        script.WaitFor(kSettingsCaption, &dialog)
            .Then([&] { shown = CapturePreview(dialog); })
            .Then([&] { Click(dialog, IDCANCEL); })
            .WaitGone(kSettingsCaption);
        EXPECT_EQ(RunDialog(script), 0);
        return shown;
    }

    // A frame of the preview's width (rows bottom row first) as the preview shows it, stretched
    // to the control; with a text, that drawn on it first through the renderer, at the size the
    // frames' own font scaling gives the frame's rows.
    static std::vector<uint32_t> ShownAsPreview(std::vector<uint32_t> frame,
                                                const FilterSettings& s,
                                                const char* text = nullptr) {
        FrameGeometry g;
        g.width = kPreviewWidth;
        g.height = static_cast<int32_t>(frame.size() / kPreviewWidth);
        CMemBm bm;
        EXPECT_TRUE(bm.Create(nullptr, g.width, g.height, 1, 32, nullptr));
        BITMAPINFOHEADER header = MakeBitmapHeader(g);
        SetDIBits(bm.dc(), bm.bitmap(), 0, g.height, frame.data(),
                  reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
        if (text) {
            // The preview scales the font from the project's frame height.
            FilterSettings shown = s;
            shown.referenceHeight = static_cast<uint32_t>(s.frameHeight);
            EXPECT_TRUE(DrawPlacedStamp(bm, shown, g.width, g.height, RendererText(text).c_str()));
        }
        DibCanvas canvas(kPreviewWidth, kPreviewHeight);
        bm.Draw(canvas.dc(), 0, 0, kPreviewWidth, kPreviewHeight, SRCCOPY, COLORONCOLOR);
        return canvas.Pixels();
    }

    // The host's ramp at the preview's width, in the record's frame shape.
    static std::vector<uint32_t> PreviewRamp(const FilterSettings& s) {
        const int height = MulDiv(kPreviewWidth, s.frameHeight, s.frameWidth);
        std::vector<uint32_t> frame(static_cast<size_t>(kPreviewWidth) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < kPreviewWidth; ++x)
                frame[static_cast<size_t>(y) * kPreviewWidth + x] =
                    RampPixel(x, y, kPreviewWidth, height);
        return frame;
    }
    static std::vector<uint32_t> ExpectedPreview(const FilterSettings& s, const char* text) {
        return ShownAsPreview(PreviewRamp(s), s, text);
    }

    // Clip frame 0 as execute stamps it on the ramp at the preview's width, shown as the preview
    // shows a frame: what the preview must show, guides aside.
    std::vector<uint32_t> ExecutedPreview() {
        const std::vector<uint32_t> ramp = PreviewRamp(*host.settings());
        const int32_t height = static_cast<int32_t>(ramp.size() / kPreviewWidth);
        HostFrameHandle source = host.makeFrame(kPreviewWidth, height, kPreviewWidth * 4);
        HostFrameHandle destination = host.makeFrame(kPreviewWidth, height, kPreviewWidth * 4);
        std::memcpy(host.pixels(source), ramp.data(), ramp.size() * 4);
        host.setSource(source);
        host.setDestination(destination);
        host.setPosition(0);
        EXPECT_EQ(xFilter_(0, host.handle()), 0);
        host.setSource(source_);
        host.setDestination(destination_);
        return ShownAsPreview(FramePixels(destination), *host.settings());
    }

    HMODULE module() const { return module_; }

    // A screen picture of a control (its window rectangle).
    static std::vector<uint32_t> ScreenPixels(HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        const int width = r.right - r.left;
        const int height = r.bottom - r.top;
        std::vector<uint32_t> pixels;
        HDC screen = GetDC(nullptr);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const COLORREF c = GetPixel(screen, r.left + x, r.top + y);
                pixels.push_back(
                    static_cast<uint32_t>(c)); // 0x00BBGGRR, as the settings keep colours
            }
        ReleaseDC(nullptr, screen);
        return pixels;
    }

    static constexpr int kFrameWidth = 720;
    static constexpr int kFrameHeight = 576;
    HostEmulator host;

private:
    std::vector<uint32_t> FramePixels(HostFrameHandle frame) {
        auto data = reinterpret_cast<const uint32_t*>(host.pixels(frame));
        return std::vector<uint32_t>(data, data + host.pixelBytes(frame) / 4);
    }

    HostFrameHandle source_ = nullptr;
    HostFrameHandle destination_ = nullptr;
    HMODULE module_ = nullptr;
    XFilterFn xFilter_ = nullptr;
    ULONG_PTR gdiplusToken_ = 0;
};

} // namespace camtag::test
