#include "ui/SettingsPreview.h"

#include "host/ModuleState.h"
#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "text/OverlayText.h"
#include "ui/UiGuards.h"

#include <gdiplus.h>

#include <cstring>

namespace camtag {

namespace {

namespace gp = Gdiplus::DllExports;

constexpr size_t kTextBytes = 256;
constexpr size_t kComposeLimit = 255;
// A preview taller than this is not a video frame (frame sizes from a damaged record).
constexpr int kMaxPreviewHeight = 32767;
constexpr char kDepthMessage[] = "Color depth of display must be 32 bits!";

// A frame the host made for the preview; disposed (and unlocked when locked) on every path.
class HostPreviewFrame {
public:
    HostPreviewFrame(HostFrameTable* table, HostRect rect) : table_(table) {
        if (table_ && table_->newFrame && table_->disposeFrame)
            frame_ = table_->newFrame(&rect);
    }
    ~HostPreviewFrame() {
        if (!frame_)
            return;
        if (locked_ && table_->unlockFrame)
            table_->unlockFrame(frame_);
        table_->disposeFrame(frame_);
    }
    HostPreviewFrame(const HostPreviewFrame&) = delete;
    HostPreviewFrame& operator=(const HostPreviewFrame&) = delete;

    HostFrameHandle get() const { return frame_; }
    void Lock() {
        if (frame_ && table_->lockFrame) {
            table_->lockFrame(frame_);
            locked_ = true;
        }
    }

private:
    HostFrameTable* table_;
    HostFrameHandle frame_ = nullptr;
    bool locked_ = false;
};

// Copies the clip's frame, as the host renders it into a frame of width x height, into pixels
// (rows back to back, first row first). Leaves pixels black when the host cannot deliver it or
// delivers a frame that is not 32-bit or too small for the copy.
void FetchHostFrame(HostFilterRecord* rec, int width, int height, uint32_t* pixels) {
    HostFrameTable* table = rec->suites ? rec->suites->frame : nullptr;
    HostPreviewFrame frame(table, HostRect{0, 0, width, height});
    if (!frame.get())
        return;
    frame.Lock();
    HostRect rect{0, 0, width, height};
    if (rec->sourceCallback)
        rec->sourceCallback(0, frame.get(), &rect, rec->privateData);
    const char* source = table->getPixels ? table->getPixels(frame.get()) : nullptr;
    if (!source || !*frame.get() || !table->getBounds || !table->getRowBytes)
        return;
    // Only a frame that holds every pixel asked for is read: a host may hand back another size.
    HostRect bounds{0, 0, 0, 0};
    table->getBounds(frame.get(), &bounds);
    const int64_t rowBytes = table->getRowBytes(frame.get());
    const int64_t step = rowBytes / 4;
    if ((*frame.get())->bitsPerPixel != 32 || int64_t{bounds.right} - bounds.left < width ||
        int64_t{bounds.bottom} - bounds.top < height || step < width)
        return;
    for (int row = 0; row < height; ++row)
        std::memcpy(pixels + static_cast<size_t>(row) * width, source + row * step * 4,
                    static_cast<size_t>(width) * 4);
}

void DrawGuideFrame(HDC dc, int left, int top, int right, int bottom) {
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, top);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    LineTo(dc, left, top);
}

// In whole numbers: a fraction like 0.95 has no exact binary value, and the x87 unit of the
// 32-bit build would put 0.95 x 360 a pixel below the 342 that 64-bit arithmetic gives.
int Scaled(int percent, int size) {
    return size * percent / 100;
}

} // namespace

void PaintPreview(const DialogState& state, const DRAWITEMSTRUCT& item) {
    if (!state.record || !*state.record)
        return;
    HostFilterRecord* rec = *state.record;
    const FilterSettings& working = state.working;
    HDC target = item.hDC;
    RECT client{};
    GetClientRect(item.hwndItem, &client);
    const int R = client.right;
    const int B = client.bottom;

    if (GetDeviceCaps(target, BITSPIXEL) < 32) {
        const UINT oldAlign = SetTextAlign(target, TA_CENTER);
        SetBkMode(target, TRANSPARENT);
        SetTextColor(target, RGB(0, 0, 0));
        TextOutA(target, R / 2, B / 5, kDepthMessage, static_cast<int>(sizeof kDepthMessage - 1));
        SetTextAlign(target, oldAlign);
        return;
    }

    // The clip's first frame, which no show duration hides, on the dialog's moment.
    char text[kTextBytes] = {};
    ComposeOverlayText(working, &state.moment, state.reader.get(), working.startFrame,
                       FileNameTokenFor(hostVersion), text, kComposeLimit);

    const int width = kPreviewFrameWidth;
    const int height = MulDiv(width, working.frameHeight, working.frameWidth);
    if (height <= 0 || height > kMaxPreviewHeight)
        return;
    LockedGlobal buffer(static_cast<SIZE_T>(height) * width * 4);
    auto pixels = static_cast<uint32_t*>(buffer.get());
    if (!pixels)
        return;
    FetchHostFrame(rec, width, height, pixels);

    CMemBm bitmap;
    if (!bitmap.Create(nullptr, width, height, 1, 32, nullptr))
        return;
    FrameGeometry geometry;
    geometry.width = width;
    geometry.height = height;
    BITMAPINFOHEADER header = MakeBitmapHeader(geometry);
    SetDIBits(bitmap.dc(), bitmap.bitmap(), 0, height, pixels,
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);

    {
        // The preview is a picture of the project's frame: the font is scaled from its rows.
        FilterSettings shown = working;
        shown.referenceHeight = static_cast<uint32_t>(working.frameHeight);
        StampPlacement place =
            PlaceStamp(shown, width, height, GetDeviceCaps(bitmap.dc(), LOGPIXELSY));
        Gdiplus::GpGraphics* graphics = nullptr;
        Gdiplus::GpFont* gpFont = nullptr;
        if (gp::GdipCreateFromHDC(bitmap.dc(), &graphics) != Gdiplus::Ok)
            graphics = nullptr;
        if (gp::GdipCreateFontFromLogfontA(bitmap.dc(), &place.font, &gpFont) != Gdiplus::Ok)
            gpFont = nullptr;
        // The whole composed text, as the frames get it.
        WCHAR wide[kOverlayTextMax + 1] = {};
        if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, kOverlayTextMax + 1) == 0)
            wide[0] = 0;
        if (graphics && gpFont) {
            OverlayParams params{};
            params.settings = &working;
            params.graphics = graphics;
            params.font = gpFont;
            params.originX = place.originX;
            params.originY = place.originY;
            params.text = wide;
            OverlayRenderer::DrawOverlay(params);
        }
        // GDI+ is done with the bitmap before GDI copies it.
        if (gpFont)
            gp::GdipDeleteFont(gpFont);
        if (graphics)
            gp::GdipDeleteGraphics(graphics);
    }
    bitmap.Draw(target, 0, 0, R, B, SRCCOPY, COLORONCOLOR);
    bitmap.Release();

    ScopedPen pen(CreatePen(PS_DOT, 1, RGB(0, 0, 255)));
    ScopedSelect selected(target, pen.get());
    DrawGuideFrame(target, Scaled(5, R), Scaled(5, B), Scaled(95, R), Scaled(95, B));
    DrawGuideFrame(target, Scaled(10, R), Scaled(10, B), Scaled(90, R), Scaled(90, B));
}

} // namespace camtag
