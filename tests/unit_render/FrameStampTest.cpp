// The band path (FrameStamp) against the whole-frame exchange it stands in for: every byte of the
// destination must be the same, on every layer, both field parities, turned text, every
// alignment, text partly or wholly outside the frame.
#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "RenderTestSupport.h"
#include "render/FrameExchange.h"
#include "render/FrameStamp.h"
#include "render/KeptStamp.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "render/RunningLayout.h"
#include "support/StampDrawing.h"

namespace gp = Gdiplus::DllExports;

namespace camtag {
namespace {

constexpr int32_t kWidth = 360;
constexpr int32_t kFrameRows = 288;
constexpr uint32_t kMarker = 0x5A5A5A5A;
// What an uninitialised host buffer might hold in the rows of the other field.
constexpr uint32_t kGarbage = 0xA5C3E1F0;

// Every byte different from its neighbours, the alpha byte included, so that a row taken from
// the wrong place or a changed alpha shows.
std::vector<uint8_t> NoisyFrame(int32_t rowBytes, int32_t rows) {
    std::vector<uint8_t> frame(static_cast<size_t>(rowBytes) * rows);
    uint32_t state = 0x12345678;
    for (uint8_t& byte : frame) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return frame;
}

FilterSettings BaseSettings() {
    FilterSettings s = test::PlainSettings();
    s.color = 0x00E0E0E0;
    s.outlinecolor = 0x00000000;
    s.colorshadow = 0x00200000;
    s.colorbkground = 0x00405060;
    s.font.lfHeight = -32;
    s.font.lfWeight = FW_NORMAL;
    s.font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(s.font.lfFaceName, "Arial");
    s.referenceHeight = 576;
    s.x = 0.08;
    s.y = 0.75;
    return s;
}

// The test frame without field rendering, rows of width x 4 bytes.
FrameGeometry WholeFrame() {
    FrameGeometry g;
    const FrameDesc desc{kWidth, kFrameRows, kWidth * 4, 32};
    EXPECT_EQ(PrepareFrameGeometry(desc, desc, 1, 0, &g), FrameAction::kDraw);
    return g;
}

// The whole-frame exchange, through a buffer of every row as a host might leave it.
void Reference(const FrameGeometry& g, const FilterSettings& s, const wchar_t* text,
               const void* source, void* destination) {
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4, kGarbage);
    ASSERT_TRUE(test::StampWholeFrame(g, s, text, source, buffer.data(), destination));
}

// The band path as the execute call runs it. Returns the band's scan line count.
int32_t Banded(const FrameGeometry& g, const FilterSettings& s, const wchar_t* text,
               const void* source, void* destination) {
    FrameStamp stamp(g, s, text);
    const size_t bytes = stamp.BufferBytes();
    if (bytes == 0) {
        PassThrough(source, destination, g);
        return 0;
    }
    EXPECT_EQ(bytes, static_cast<size_t>(stamp.band().count) * g.width * 4);
    std::vector<uint32_t> buffer(bytes / 4, kGarbage);
    stamp.Draw(source, destination, buffer.data());
    return stamp.band().count;
}

// One look of the overlay: layers (B box, O outline, S shadow), transparency, alignment, angle,
// anchor and font.
struct Look {
    const char* name;
    const char* layers;
    int32_t transparency, align, angle;
    double x, y;
    int32_t fontHeight;
    bool boldItalic;
};

const Look kLooks[] = {
    {"fill", "", 0, 0, 0, 0.08, 0.75, -32, false},
    {"box", "B", 0, 0, 0, 0.08, 0.75, -32, false},
    {"outline", "O", 0, 0, 0, 0.08, 0.75, -32, false},
    {"shadow", "S", 0, 0, 0, 0.08, 0.75, -32, false},
    {"every layer", "BOS", 0, 0, 0, 0.08, 0.75, -32, false},
    {"every layer, 40 % transparent", "BOS", 40, 0, 0, 0.08, 0.75, -32, false},
    {"every layer, big bold italic", "BOS", 0, 0, 0, 0.08, 0.75, -90, true},
    {"centred, turned 30", "BOS", 0, 1, 30, 0.5, 0.4, -32, false},
    {"right aligned, turned 90", "OS", 0, 2, 90, 0.9, 0.1, -32, false},
    {"turned -90 near the bottom", "BS", 0, 0, -90, 0.08, 0.98, -32, false},
    {"upside down", "BO", 0, 0, 180, 0.9, 0.3, -32, false},
    {"partly above the frame", "BOS", 0, 0, 0, 0.08, -0.06, -32, false},
    {"partly below the frame", "BOS", 0, 0, 0, 0.08, 0.93, -32, false},
    {"partly left and right of the frame", "BOS", 0, 1, 0, 0.98, 0.75, -70, false},
    {"wholly below the frame", "BOS", 0, 0, 0, 0.08, 1.4, -32, false},
    {"at the top edge", "BOS", 0, 0, 0, 0.0, 0.0, -32, false},
};

FilterSettings SettingsOf(const Look& look) {
    FilterSettings s = BaseSettings();
    const std::string layers = look.layers;
    s.bkground = layers.find('B') != std::string::npos;
    s.drawoutline = layers.find('O') != std::string::npos;
    s.drawshadow = layers.find('S') != std::string::npos;
    s.transparency = static_cast<uint32_t>(look.transparency);
    s.align = look.align;
    s.angle = look.angle;
    s.x = look.x;
    s.y = look.y;
    s.font.lfHeight = look.fontHeight;
    if (look.boldItalic) {
        s.font.lfWeight = FW_BOLD;
        s.font.lfItalic = 1;
    }
    return s;
}

struct Fields {
    const char* name;
    int32_t factor;
    int32_t parity;
};

const Fields kFields[] = {
    {"frame", 1, 0}, {"field on odd rows", 2, 0}, {"field on even rows", 2, 1}};

// One case of a stamp: a field layout whose rows are a little longer than the pixels, with a
// noisy source of its own longer rows, one look and one text.
struct StampCase {
    const Fields& fields;
    const FrameGeometry& g;
    const FrameDesc& destination;
    const std::vector<uint8_t>& in;
    const Look& look;
    const FilterSettings& settings;
    const wchar_t* text;
    // A destination frame no layer has touched yet.
    std::vector<uint8_t> Untouched() const {
        return std::vector<uint8_t>(static_cast<size_t>(destination.rowBytes) * destination.height,
                                    static_cast<uint8_t>(kMarker));
    }
};

// Every field layout, look and text; stops at the first fatal failure.
template <typename Body>
void ForEachStampCase(std::initializer_list<const wchar_t*> texts, Body&& body) {
    for (const Fields& f : kFields) {
        const int32_t rows = f.factor == 2 ? kFrameRows / 2 : kFrameRows;
        const FrameDesc destination{kWidth, rows, kWidth * 4 + 8, 32};
        const FrameDesc source{kWidth + 3, rows + 1, (kWidth + 3) * 4, 32};
        FrameGeometry g;
        ASSERT_EQ(PrepareFrameGeometry(destination, source, f.factor, f.parity, &g),
                  FrameAction::kDraw);
        const std::vector<uint8_t> in = NoisyFrame(source.rowBytes, source.height);
        for (const Look& look : kLooks) {
            for (const wchar_t* text : texts) {
                const FilterSettings s = SettingsOf(look);
                body(StampCase{f, g, destination, in, look, s, text});
                if (::testing::Test::HasFatalFailure())
                    return;
            }
        }
    }
}

TEST(FrameStamp, GivesTheWholeFrameExchangeByteForByte) {
    int banded = 0;
    int cases = 0;
    long reused = 0;
    ForEachStampCase({L"14:23:05\n15.07.04", L"Camtag error. AVI access fail.", L"Wj|g\n\n_^"},
                     [&](const StampCase& c) {
                         std::vector<uint8_t> expected = c.Untouched();
                         std::vector<uint8_t> got = expected;
                         std::vector<uint8_t> again = expected;
                         Reference(c.g, c.settings, c.text, c.in.data(), expected.data());
                         const int32_t band =
                             Banded(c.g, c.settings, c.text, c.in.data(), got.data());
                         // The same text once more: drawn from the kept path, without a new layout.
                         const long reusedBefore = FrameStamp::ShapesReused();
                         Banded(c.g, c.settings, c.text, c.in.data(), again.data());
                         reused += FrameStamp::ShapesReused() - reusedBefore;
                         ++cases;
                         banded += band > 0 && band < BitmapHeight(c.g);
                         ASSERT_EQ(got, expected) << c.fields.name << ", " << c.look.name
                                                  << ", text " << std::wstring(c.text).size()
                                                  << " units, band of " << band << " rows";
                         ASSERT_EQ(again, expected)
                             << c.fields.name << ", " << c.look.name << ", from the kept path";
                         // What is kept between stamps holds no GDI+ object.
                         ASSERT_EQ(OverlayObjectsAlive(), 0);
                     });
    // Most cases touch only part of the frame, so the band is what the comparison checks.
    EXPECT_GT(banded, cases / 2);
    EXPECT_EQ(reused, cases);
}

// The kept path stands in only for the same layout: each change of what the path depends on,
// one at a time after the same text was stamped, still gives the whole-frame exchange's frame.
TEST(FrameStamp, KeptPathIsNotTakenForAnotherLayout) {
    const FrameGeometry g = WholeFrame();
    const std::vector<uint8_t> in = NoisyFrame(kWidth * 4, kFrameRows);
    struct Change {
        const char* name;
        void (*apply)(FilterSettings&);
    };
    const Change changes[] = {
        {"align", [](FilterSettings& s) { s.align = 2; }},
        {"angle", [](FilterSettings& s) { s.angle = 1; }},
        {"x", [](FilterSettings& s) { s.x += 0.001; }},
        {"y", [](FilterSettings& s) { s.y -= 0.001; }},
        {"font size", [](FilterSettings& s) { s.font.lfHeight -= 1; }},
        {"bold", [](FilterSettings& s) { s.font.lfWeight = FW_BOLD; }},
        {"face", [](FilterSettings& s) { std::strcpy(s.font.lfFaceName, "Courier New"); }},
        {"reference height", [](FilterSettings& s) { s.referenceHeight = 500; }},
    };
    const wchar_t* texts[] = {L"14:23:05\n15.07.04", L"14:23:06\n15.07.04"};
    for (const Change& change : changes) {
        for (const wchar_t* text : texts) {
            FilterSettings s = BaseSettings();
            s.drawoutline = s.drawshadow = 1;
            std::vector<uint8_t> out(in.size());
            Banded(g, s, texts[0], in.data(), out.data()); // keeps the base layout's path
            change.apply(s);
            std::vector<uint8_t> expected(in.size());
            Reference(g, s, text, in.data(), expected.data());
            Banded(g, s, text, in.data(), out.data());
            ASSERT_EQ(out, expected) << change.name;
        }
    }
}

TEST(FrameStamp, NothingToDrawPassesTheFrameThroughWithoutABuffer) {
    const FrameGeometry g = WholeFrame();
    const std::vector<uint8_t> in = NoisyFrame(kWidth * 4, kFrameRows);
    struct Case {
        const char* what;
        const wchar_t* text;
        double y;
        int32_t transparency;
    };
    for (const Case& c :
         {Case{"empty text", L"", 0.5, 0}, Case{"only line feeds", L"\n\n", 0.5, 0},
          Case{"below the frame", L"12:00", 1.5, 0}, Case{"above the frame", L"12:00", -0.5, 0}}) {
        FilterSettings s = BaseSettings();
        s.bkground = s.drawoutline = s.drawshadow = 1;
        s.y = c.y;
        FrameStamp stamp(g, s, c.text);
        EXPECT_EQ(stamp.BufferBytes(), 0u) << c.what;
        std::vector<uint8_t> out(in.size(), 0);
        stamp.Draw(in.data(), out.data(), nullptr);
        EXPECT_EQ(out, in) << c.what;
    }
    // A fully transparent text still goes through the bitmap, and changes nothing.
    FilterSettings s = BaseSettings();
    s.transparency = 100;
    std::vector<uint8_t> out(in.size(), 0);
    EXPECT_GT(Banded(g, s, L"12:00", in.data(), out.data()), 0);
    EXPECT_EQ(out, in);
}

// A host that renders fields stamps each at the full frame's size and place: the two fields,
// stamped one by one, weave into the frame stamped whole.
TEST(FrameStamp, TwoFieldsStampedApartWeaveIntoTheWholeFrame) {
    const int32_t rows = kFrameRows;
    const int32_t rowBytes = kWidth * 4;
    const std::vector<uint8_t> frame = NoisyFrame(rowBytes, rows);
    // Row r of the frame (the picture's bottom row first) is row r / 2 of the field whose rows
    // sit on even buffer rows (parity 1) when r is even, of the other field (parity 0) when odd.
    std::vector<uint8_t> fields[2];
    for (int32_t parity : {0, 1}) {
        for (int32_t r = parity == 1 ? 0 : 1; r < rows; r += 2) {
            fields[parity].insert(fields[parity].end(),
                                  frame.begin() + static_cast<size_t>(r) * rowBytes,
                                  frame.begin() + static_cast<size_t>(r + 1) * rowBytes);
        }
    }
    FilterSettings s = BaseSettings();
    s.bkground = s.drawoutline = s.drawshadow = 1;
    s.transparency = 25;
    s.angle = 12;
    s.y = 0.45;
    const wchar_t text[] = L"14:23:05\n15.07.04";

    FrameGeometry whole;
    const FrameDesc frameDesc{kWidth, rows, rowBytes, 32};
    ASSERT_EQ(PrepareFrameGeometry(frameDesc, frameDesc, 1, 0, &whole), FrameAction::kDraw);
    std::vector<uint8_t> stamped(frame.size());
    ASSERT_GT(Banded(whole, s, text, frame.data(), stamped.data()), 0);

    for (int32_t parity : {0, 1}) {
        FrameGeometry g;
        const FrameDesc fieldDesc{kWidth, rows / 2, rowBytes, 32};
        ASSERT_EQ(PrepareFrameGeometry(fieldDesc, fieldDesc, 2, parity, &g), FrameAction::kDraw);
        std::vector<uint8_t> field(fields[parity].size());
        ASSERT_GT(Banded(g, s, text, fields[parity].data(), field.data()), 0);
        for (int32_t k = 0; k < rows / 2; ++k) {
            const int32_t r = 2 * k + (parity == 1 ? 0 : 1);
            ASSERT_TRUE(std::equal(field.begin() + static_cast<size_t>(k) * rowBytes,
                                   field.begin() + static_cast<size_t>(k + 1) * rowBytes,
                                   stamped.begin() + static_cast<size_t>(r) * rowBytes))
                << "parity " << parity << ", frame row " << r;
        }
    }
}

// --- Kept stamps: drawn once, blended per frame ---

// The largest difference of any byte, the alpha byte included.
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        most = std::max(most, std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i])));
    }
    return most;
}

// Stamps through the kept stamps; false when the frame was left to be drawn directly.
bool Kept(const FrameGeometry& g, const FilterSettings& s, const wchar_t* text, const void* source,
          void* destination) {
    return StampFromKept(g, s, text, source, destination);
}

// Blended from the kept stamp, the frame is the direct drawing's within one level per byte, on
// every look, both field layouts and texts partly or wholly outside the frame; the bytes no
// layer reaches are the source's exactly.
TEST(KeptStamp, BlendsWithinOneLevelOfDrawingDirectly) {
    int differing = 0;
    ForEachStampCase({L"14:23:05\n15.07.04", L"Wj|g\n\n_^"}, [&](const StampCase& c) {
        const char* f = c.fields.name;
        std::vector<uint8_t> expected = c.Untouched();
        std::vector<uint8_t> drawn = expected;
        std::vector<uint8_t> blended = expected;
        Banded(c.g, c.settings, c.text, c.in.data(), expected.data());
        const long before = KeptStampsDrawn();
        ASSERT_TRUE(Kept(c.g, c.settings, c.text, c.in.data(), drawn.data())) << c.look.name;
        ASSERT_TRUE(Kept(c.g, c.settings, c.text, c.in.data(), blended.data())) << c.look.name;
        // A third frame, so that the next text of the look is kept as well.
        ASSERT_TRUE(Kept(c.g, c.settings, c.text, c.in.data(), blended.data())) << c.look.name;
        EXPECT_EQ(KeptStampsDrawn() - before, 1) << f << ", " << c.look.name;
        ASSERT_LE(MaxDifference(drawn, expected), 1) << f << ", " << c.look.name;
        ASSERT_EQ(blended, drawn) << f << ", " << c.look.name;
        differing += drawn != expected;
        // The padding past each row's pixels is the host's and stays as it was.
        for (int32_t r = 0; r < c.destination.height; ++r) {
            const size_t end = static_cast<size_t>(r + 1) * c.destination.rowBytes;
            ASSERT_TRUE(std::all_of(drawn.begin() + end - 8, drawn.begin() + end,
                                    [](uint8_t b) { return b == static_cast<uint8_t>(kMarker); }));
        }
    });
    // Rounding differs somewhere, or the comparison within one level would say nothing.
    EXPECT_GT(differing, 0);
}

// A host may give one frame as both source and destination: in place, every way of stamping
// (drawn directly, blended from the kept stamp at the text's third frame, updated from the
// running stamp) gives the frame it gives into another frame, on every look and field layout.
TEST(FrameStamp, StampsInPlaceAsIntoAnotherFrame) {
    const wchar_t* text = L"14:23:05\n15.07.04";
    for (const Fields& f : kFields) {
        const FrameDesc desc{kWidth, kFrameRows / f.factor, kWidth * 4 + 8, 32};
        FrameGeometry g;
        ASSERT_EQ(PrepareFrameGeometry(desc, desc, f.factor, f.parity, &g), FrameAction::kDraw);
        const std::vector<uint8_t> in = NoisyFrame(desc.rowBytes, desc.height);
        for (const Look& look : kLooks) {
            const FilterSettings s = SettingsOf(look);
            for (int way = 0; way < 3; ++way) {
                auto stamp = [&](const void* from, void* to) {
                    return way == 0   ? Banded(g, s, text, from, to) >= 0
                           : way == 1 ? Kept(g, s, text, from, to) || Kept(g, s, text, from, to) ||
                                            Kept(g, s, text, from, to)
                                      : StampFromRunning(g, s, text, from, to);
                };
                // Row ends as the source's, as in place they are; a way that draws nothing (a
                // text beyond the frame) leaves the frame to the others.
                std::vector<uint8_t> apart = in, inPlace = in;
                const bool stamped = stamp(in.data(), apart.data());
                ASSERT_EQ(stamp(inPlace.data(), inPlace.data()), stamped);
                ASSERT_EQ(inPlace, apart) << f.name << ", " << look.name << ", way " << way;
            }
        }
    }
}

// Every input of the stamp draws it anew when it changes, and the frame is still the direct
// drawing's; what does not make its pixels (the field parity) does not. The same for the look's
// running stamp, which a new text only updates.
TEST(KeptStamp, AChangeOfAnyInputDrawsAnew) {
    struct Change {
        const char* name;
        void (*apply)(FilterSettings&, FrameDesc&, int32_t& factor, int32_t& parity,
                      std::wstring& text);
        bool drawsAnew;
    };
    const Change changes[] = {
        {"text",
         [](FilterSettings&, FrameDesc&, int32_t&, int32_t&, std::wstring& t) {
             t = L"14:23:06\n15.07.04";
         },
         true},
        {"colour",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.color = 0x0000FF00;
         },
         true},
        {"outline colour",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.outlinecolor = 0xFF;
         },
         true},
        {"shadow colour",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.colorshadow = 0xFF00;
         },
         true},
        {"box colour",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.colorbkground = 0xFF;
         },
         true},
        {"transparency",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.transparency = 30;
         },
         true},
        {"align",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.align = 1; },
         true},
        {"angle",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.angle = 5; },
         true},
        {"box off",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.bkground = 0; },
         true},
        {"outline off",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.drawoutline = 0;
         },
         true},
        {"shadow off",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.drawshadow = 0; },
         true},
        {"x", [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.x += 0.01; },
         true},
        {"y", [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) { s.y -= 0.01; },
         true},
        {"font size",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.font.lfHeight -= 2;
         },
         true},
        {"bold",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.font.lfWeight = FW_BOLD;
         },
         true},
        {"face",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             std::strcpy(s.font.lfFaceName, "Courier New");
         },
         true},
        {"reference height",
         [](FilterSettings& s, FrameDesc&, int32_t&, int32_t&, std::wstring&) {
             s.referenceHeight = 500;
         },
         true},
        {"frame width",
         [](FilterSettings&, FrameDesc& d, int32_t&, int32_t&, std::wstring&) { d.width -= 8; },
         true},
        {"frame height",
         [](FilterSettings&, FrameDesc& d, int32_t&, int32_t&, std::wstring&) { d.height -= 8; },
         true},
        {"fields",
         [](FilterSettings&, FrameDesc& d, int32_t& factor, int32_t&, std::wstring&) {
             factor = 2;
             d.height /= 2;
         },
         true},
        {"row step only",
         [](FilterSettings&, FrameDesc& d, int32_t&, int32_t&, std::wstring&) { d.rowBytes += 64; },
         false},
        {"the other field",
         [](FilterSettings&, FrameDesc&, int32_t&, int32_t& parity, std::wstring&) { parity = 1; },
         false},
    };
    uint32_t fresh = 0;
    for (const Change& change : changes) {
        FilterSettings s = BaseSettings();
        s.bkground = s.drawoutline = s.drawshadow = 1;
        s.transparency = 10;
        // A look of its own for each case, so that no case finds what the one before kept.
        s.color -= ++fresh;
        FrameDesc desc{kWidth, kFrameRows, kWidth * 4, 32};
        int32_t factor = 1;
        int32_t parity = 0;
        std::wstring text = L"14:23:05\n15.07.04";
        // The second field of a frame, after the first.
        if (std::string(change.name) == "the other field") {
            factor = 2;
            desc.height /= 2;
        }
        FrameGeometry g;
        ASSERT_EQ(PrepareFrameGeometry(desc, desc, factor, parity, &g), FrameAction::kDraw);
        std::vector<uint8_t> in = NoisyFrame(desc.rowBytes, desc.height);
        std::vector<uint8_t> out(in.size());
        // Three frames: a text kept for fewer would make the next text of its look go direct.
        for (int frame = 0; frame < 3; ++frame)
            ASSERT_TRUE(Kept(g, s, text.c_str(), in.data(), out.data()));
        ASSERT_TRUE(StampFromRunning(g, s, text.c_str(), in.data(), out.data()));

        change.apply(s, desc, factor, parity, text);
        ASSERT_EQ(PrepareFrameGeometry(desc, desc, factor, parity, &g), FrameAction::kDraw)
            << change.name;
        in = NoisyFrame(desc.rowBytes, desc.height);
        std::vector<uint8_t> expected(in.size());
        out.assign(in.size(), 0);
        Banded(g, s, text.c_str(), in.data(), expected.data());
        const long before = KeptStampsDrawn();
        ASSERT_TRUE(Kept(g, s, text.c_str(), in.data(), out.data())) << change.name;
        EXPECT_EQ(KeptStampsDrawn() - before, change.drawsAnew ? 1 : 0) << change.name;
        EXPECT_LE(MaxDifference(out, expected), 1) << change.name;

        const bool newText = std::string(change.name) == "text";
        const long redrawn = RunningStampsRedrawn();
        const long updated = RunningStampsUpdated();
        out.assign(in.size(), 0);
        ASSERT_TRUE(StampFromRunning(g, s, text.c_str(), in.data(), out.data())) << change.name;
        EXPECT_EQ(RunningStampsRedrawn() - redrawn, change.drawsAnew && !newText ? 1 : 0)
            << change.name;
        EXPECT_EQ(RunningStampsUpdated() - updated, newText ? 1 : 0) << change.name;
        EXPECT_LE(MaxDifference(out, expected), 1) << change.name << ", running";
    }
}

// A look whose text changes at every frame (or every two fields) leaves its texts to the direct
// drawing from the second new text on, and keeps a text again once it stays for three.
TEST(KeptStamp, TextsThatChangeEveryFrameAreDrawnDirectly) {
    const FrameGeometry g = WholeFrame();
    FilterSettings s = BaseSettings();
    s.bkground = s.drawoutline = 1;
    s.color = 0x00123456;
    const std::vector<uint8_t> in = NoisyFrame(kWidth * 4, kFrameRows);
    std::vector<uint8_t> out(in.size());
    const wchar_t* frames[] = {L"00:00:01:01", L"00:00:01:02", L"00:00:01:03", L"00:00:01:04"};
    EXPECT_TRUE(Kept(g, s, frames[0], in.data(), out.data()));
    // Each text on a frame's two fields.
    for (int i = 1; i < 4; ++i) {
        for (int field = 0; field < 2; ++field) {
            std::vector<uint8_t> untouched(in.size(), 0x77);
            EXPECT_FALSE(Kept(g, s, frames[i], in.data(), untouched.data()))
                << i << " field " << field;
            EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(),
                                    [](uint8_t b) { return b == 0x77; }));
        }
    }
    const long before = KeptStampsDrawn();
    EXPECT_TRUE(Kept(g, s, frames[3], in.data(), out.data())) << "the third time";
    EXPECT_TRUE(Kept(g, s, frames[3], in.data(), out.data()));
    EXPECT_EQ(KeptStampsDrawn() - before, 1);
}

// A date instance and a timecode instance in the same look, taking turns on the frames: the
// date's stamp stays kept while the timecodes go direct.
TEST(KeptStamp, DatesStayKeptBesideTimecodesOfTheSameLook) {
    const FrameGeometry g = WholeFrame();
    FilterSettings date = BaseSettings();
    date.bkground = 1;
    date.color = 0x00654321;
    FilterSettings timecode = date;
    timecode.mode = 1;
    const std::vector<uint8_t> in = NoisyFrame(kWidth * 4, kFrameRows);
    std::vector<uint8_t> out(in.size());
    const long before = KeptStampsDrawn();
    int blended = 0;
    for (int frame = 0; frame < 12; ++frame) {
        blended += Kept(g, date, L"14:23:05\n15.07.04", in.data(), out.data());
        const std::wstring tc = L"00:00:01:" + std::to_wstring(10 + frame);
        Kept(g, timecode, tc.c_str(), in.data(), out.data());
    }
    EXPECT_EQ(blended, 12);
    // The date once, the first timecode once.
    EXPECT_EQ(KeptStampsDrawn() - before, 2);
}

// A running timecode through every look and field layout, with carries, a second line coming
// and going, digits of other widths (the box's edge moves) and digits that come round again: each
// frame from the look's running stamp, updated where the text changed, is the frame from a stamp
// drawn whole for its text, and within one level of drawing directly.
TEST(RunningStamp, UpdatesAsIfDrawnWhole) {
    const long updatedBefore = RunningStampsUpdated();
    const long reusedBefore = RunningPatchesReused();
    int frames = 0;
    ForEachStampCase(
        {L"10:20:30:07", L"10:20:30:08", L"10:20:30:11", L"10:20:31:00", L"Tape 1\n10:20:31:01",
         L"Tape 1\n10:20:31:02", L"10:20:31:03", L"10:20:31:0", L"10:28:31:03", L"10:21:31:03",
         L"10:21:31:07", L"10:21:31:08", L"10:21:31:06", L"10:21:31:09", L"19:59:59:24",
         L"20:00:00:00"},
        [&](const StampCase& c) {
            std::vector<uint8_t> expected = c.Untouched();
            std::vector<uint8_t> running = expected;
            std::vector<uint8_t> whole = expected;
            const char* f = c.fields.name;
            const int32_t band = Banded(c.g, c.settings, c.text, c.in.data(), expected.data());
            ASSERT_EQ(StampFromRunning(c.g, c.settings, c.text, c.in.data(), running.data()),
                      band > 0)
                << f << ", " << c.look.name;
            if (band == 0)
                return;
            ++frames;
            // The kept stamp draws a text whole once it is seen on three frames.
            bool kept = false;
            for (int i = 0; i < 3 && !kept; ++i)
                kept = Kept(c.g, c.settings, c.text, c.in.data(), whole.data());
            ASSERT_TRUE(kept);
            ASSERT_LE(MaxDifference(running, expected), 1) << f << ", " << c.look.name;
            ASSERT_EQ(running, whole) << f << ", " << c.look.name << ", text of "
                                      << std::wstring(c.text).size() << " units";
        });
    // Most frames after a look's first were updated, not drawn whole; the frame digits "07" to
    // "08" came round again and took the pixels drawn the first time.
    EXPECT_GT(RunningStampsUpdated() - updatedBefore, frames / 2);
    EXPECT_GT(RunningPatchesReused() - reusedBefore, 0);
}

// Two seconds of a running timecode in a few looks, then a drop-frame separator: once each digit
// was seen in its place, the texts' paths are put together from the figures seen, and their
// frames are still those of stamps drawn whole, within one level of drawing directly.
TEST(RunningStamp, ComposedPathsDrawAsLaidOut) {
    const FrameGeometry g = WholeFrame();
    const std::vector<uint8_t> in = NoisyFrame(kWidth * 4, kFrameRows);
    const long composedBefore = RunningLayout::Composed();
    int frames = 0;
    for (const char* name :
         {"every layer, 40 % transparent", "centred, turned 30", "every layer, big bold italic"}) {
        const Look& look = *std::find_if(std::begin(kLooks), std::end(kLooks), [&](const Look& l) {
            return std::string(l.name) == name;
        });
        const FilterSettings s = SettingsOf(look);
        for (int frame = 20; frame < 70; ++frame, ++frames) {
            wchar_t text[32];
            // The last in drop-frame style: another character than a digit changed.
            std::swprintf(text, 32, frame < 69 ? L"CL#00:00:%02d:%02d" : L"CL#00:00:%02d;%02d",
                          frame / 25, frame % 25);
            std::vector<uint8_t> expected(in.size()), running(in.size()), whole(in.size());
            Banded(g, s, text, in.data(), expected.data());
            ASSERT_TRUE(StampFromRunning(g, s, text, in.data(), running.data()));
            bool kept = false;
            for (int i = 0; i < 3 && !kept; ++i)
                kept = Kept(g, s, text, in.data(), whole.data());
            ASSERT_LE(MaxDifference(running, expected), 1) << name << ", frame " << frame;
            ASSERT_EQ(running, whole) << name << ", frame " << frame;
        }
    }
    EXPECT_GT(RunningLayout::Composed() - composedBefore, frames / 2);
}

// The blend is exact at both ends and rounds in between.
TEST(KeptStamp, BlendRoundsEachByte) {
    struct Case {
        uint8_t pixel, base, keep, expected;
    };
    const Case cases[] = {{0, 0, 255, 0},      {255, 0, 255, 255}, {200, 0, 255, 200},
                          {255, 10, 245, 255}, {0, 77, 0, 77},     {255, 77, 0, 77},
                          {128, 0, 128, 64},   {255, 0, 1, 1},     {1, 0, 128, 1},
                          {3, 0, 85, 1},       {100, 50, 100, 89}, {255, 128, 127, 255}};
    for (const Case& c : cases) {
        // A run long enough for the vector loop and its scalar tail.
        std::vector<uint8_t> pixels(37, c.pixel), base(37, c.base), keep(37, c.keep);
        BlendStampBytes(pixels.data(), base.data(), keep.data(), pixels.size());
        for (uint8_t p : pixels)
            ASSERT_EQ(p, c.expected) << int(c.pixel) << " " << int(c.base) << " " << int(c.keep);
    }
}

TEST(ScanBand, RowsBecomeScanLinesCutToTheBitmap) {
    FrameGeometry frame;
    const FrameDesc desc{100, 50, 400, 32};
    ASSERT_EQ(PrepareFrameGeometry(desc, desc, 1, 0, &frame), FrameAction::kDraw);
    FrameGeometry field;
    ASSERT_EQ(PrepareFrameGeometry(desc, desc, 2, 1, &field), FrameAction::kDraw);
    struct Case {
        const FrameGeometry* g;
        int64_t top, bottom;
        int32_t first, count;
    };
    const Case cases[] = {
        {&frame, 0, 50, 0, 50},   {&frame, 10, 20, 30, 10},
        {&frame, -5, 3, 47, 3},   {&frame, 45, 80, 0, 5},
        {&frame, 50, 60, 0, 0},   {&frame, -9, 0, 0, 0},
        {&frame, 30, 30, 0, 0},   {&frame, 30, 20, 0, 0},
        {&field, 10, 20, 80, 10}, {&field, -(1LL << 40), 1LL << 40, 0, 100},
    };
    for (const Case& c : cases) {
        const ScanBand band = ScanBandOfRows(*c.g, c.top, c.bottom);
        EXPECT_EQ(band.count, c.count) << c.top << ".." << c.bottom;
        if (c.count > 0) {
            EXPECT_EQ(band.first, c.first) << c.top << ".." << c.bottom;
        }
        EXPECT_EQ(BandBufferBytes(*c.g, band), static_cast<size_t>(c.count) * 400u);
    }
    EXPECT_EQ(BandBufferBytes(frame, ScanBand{40, 11}), 0u) << "beyond the bitmap";
    EXPECT_EQ(BandBufferBytes(frame, ScanBand{-1, 5}), 0u);
    EXPECT_EQ(ScanBandOfRows(FrameGeometry{}, 0, 10).count, 0);
}

// Only the band's frame rows come back from the bitmap; every other row is the source's, even
// where the bitmap was painted over.
TEST(ScanBand, RowsOutsideTheBandComeFromTheSource) {
    for (const Fields& f : kFields) {
        const int32_t rows = 12;
        const FrameDesc desc{8, rows, 8 * 4, 32};
        FrameGeometry g;
        ASSERT_EQ(PrepareFrameGeometry(desc, desc, f.factor, f.parity, &g), FrameAction::kDraw);
        const std::vector<uint8_t> in = NoisyFrame(desc.rowBytes, rows);
        CMemBm bm;
        ASSERT_TRUE(bm.Create(nullptr, g.width, BitmapHeight(g), 1, 32, nullptr));
        const ScanBand band{5, 6};
        std::vector<uint32_t> buffer(BandBufferBytes(g, band) / 4, kGarbage);
        ASSERT_TRUE(FillBitmapBand(in.data(), g, band, buffer.data(), bm));
        PatBlt(bm.dc(), 0, 0, g.width, BitmapHeight(g), BLACKNESS);
        std::vector<uint8_t> out(in.size(), 0xEE);
        ASSERT_TRUE(StoreBitmapBand(bm, g, band, buffer.data(), in.data(), out.data()));
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t bufferRow = f.factor == 2 ? 2 * r + (f.parity == 0 ? 1 : 0) : r;
            const bool inBand = bufferRow >= band.first && bufferRow < band.first + band.count;
            const auto* row = reinterpret_cast<const uint32_t*>(
                out.data() + static_cast<size_t>(r) * desc.rowBytes);
            const auto* source = reinterpret_cast<const uint32_t*>(
                in.data() + static_cast<size_t>(r) * desc.rowBytes);
            for (int32_t x = 0; x < g.width; ++x) {
                if (inBand) {
                    ASSERT_EQ(row[x] & 0x00FFFFFF, 0u) << f.name << " row " << r;
                } else {
                    ASSERT_EQ(row[x], source[x]) << f.name << " row " << r;
                }
            }
        }
    }
}

} // namespace
} // namespace camtag
