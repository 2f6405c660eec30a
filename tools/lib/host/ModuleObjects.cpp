#include "ModuleObjects.h"

#include <gdiplus.h>

#include <cstring>
#include <set>
#include <type_traits>

namespace camtag {

using namespace Gdiplus::DllExports;

namespace {

ModuleObjectCounts counts;

enum class Kind { GdiplusMade, GdiplusDeleted, GdiMade, GdiDeleted, DcTaken, DcReleased };

void Tally(Kind kind) {
    switch (kind) {
    case Kind::GdiplusMade:
        ++counts.gdiplusMade;
        break;
    case Kind::GdiplusDeleted:
        ++counts.gdiplusDeleted;
        break;
    case Kind::GdiMade:
        ++counts.gdiMade;
        break;
    case Kind::GdiDeleted:
        ++counts.gdiDeleted;
        break;
    case Kind::DcTaken:
        ++counts.screenDcsTaken;
        break;
    case Kind::DcReleased:
        ++counts.screenDcsReleased;
        break;
    }
}

// A wrapper with the call's own signature: calls through, and counts when the call succeeded
// (GDI+ status Ok, a handle, or a non-zero result).
template <typename Fn, int Id> struct Counted;

template <typename R, typename... A, int Id> struct Counted<R(WINAPI*)(A...), Id> {
    static inline R(WINAPI* original)(A...) = nullptr;
    static inline Kind kind = Kind::GdiMade;
    static R WINAPI Call(A... args) {
        R result = original(args...);
        bool ok;
        if constexpr (std::is_enum_v<R>)
            ok = static_cast<int>(result) == 0;
        else
            ok = result != R{};
        if (ok)
            Tally(kind);
        return result;
    }
};

IMAGE_IMPORT_DESCRIPTOR* Imports(HMODULE module) {
    auto base = reinterpret_cast<uint8_t*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    return directory.VirtualAddress
               ? reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress)
               : nullptr;
}

// Calls each (dll, name, import slot) of the module's imports by name.
template <typename Visit> void ForEachImport(HMODULE module, Visit visit) {
    auto base = reinterpret_cast<uint8_t*>(module);
    for (IMAGE_IMPORT_DESCRIPTOR* d = Imports(module); d && d->Name; ++d) {
        const char* dll = reinterpret_cast<const char*>(base + d->Name);
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            visit(dll, reinterpret_cast<const char*>(byName->Name), slots);
        }
    }
}

// Points the module's import of dll!name at `hook`, keeping the system's call in *original.
template <typename Fn>
void Redirect(HMODULE module, const char* dll, const char* name, Fn hook, Fn* original,
              std::set<std::string>* counted) {
    ForEachImport(module, [&](const char* importDll, const char* importName,
                              IMAGE_THUNK_DATA* slot) {
        if (lstrcmpiA(importDll, dll) != 0 || std::strcmp(importName, name) != 0)
            return;
        void* current = reinterpret_cast<void*>(slot->u1.Function);
        // A module counted again keeps the one wrapper; the original stays the system's call.
        if (current != reinterpret_cast<void*>(hook))
            *original = reinterpret_cast<Fn>(current);
        DWORD protection = 0;
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
        slot->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
        counted->insert(name);
    });
}

template <typename Fn, int Id>
void Install(HMODULE module, const char* dll, const char* name, Kind kind,
             std::set<std::string>* counted) {
    using Hook = Counted<Fn, Id>;
    Hook::kind = kind;
    Redirect<Fn>(module, dll, name, &Hook::Call, &Hook::original, counted);
}

// Bitmaps loaded from resources are GDI objects the module deletes; cursors and icons are not.
decltype(&LoadImageA) loadImage = nullptr;
HANDLE WINAPI CountedLoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy,
                                UINT flags) {
    HANDLE image = loadImage(instance, name, type, cx, cy, flags);
    if (image && type == IMAGE_BITMAP)
        Tally(Kind::GdiMade);
    return image;
}

// Calls that make or delete an object by their names.
bool MakesOrDeletes(const char* dll, const char* name) {
    auto starts = [&](const char* prefix) {
        return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
    };
    if (lstrcmpiA(dll, "gdiplus.dll") == 0)
        return starts("GdipCreate") || starts("GdipDelete") || starts("GdipClone") ||
               std::strcmp(name, "GdipGetFamily") == 0;
    if (lstrcmpiA(dll, "gdi32.dll") == 0)
        return starts("Create") || starts("Delete");
    if (lstrcmpiA(dll, "user32.dll") == 0)
        return starts("GetDC") || starts("GetWindowDC") || starts("ReleaseDC") ||
               starts("LoadImage") || starts("LoadBitmap");
    return false;
}

} // namespace

#define CAMTAG_COUNT(dll, call, kind)                                                              \
    Install<decltype(&call), __LINE__>(module, dll, #call, kind, &counted)

bool CountModuleObjects(HMODULE module, std::string* error) {
    counts = ModuleObjectCounts();
    std::set<std::string> counted;
    CAMTAG_COUNT("gdiplus.dll", GdipCreateFromHDC, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreateFontFromLogfontA, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipGetFamily, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreateFontFamilyFromName, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreateMatrix, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreatePath, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreatePath2, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipClonePath, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreatePen1, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreateSolidFill, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipCreateStringFormat, Kind::GdiplusMade);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteGraphics, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteFont, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteFontFamily, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteMatrix, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeletePath, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeletePen, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteBrush, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdiplus.dll", GdipDeleteStringFormat, Kind::GdiplusDeleted);
    CAMTAG_COUNT("gdi32.dll", CreateCompatibleDC, Kind::GdiMade);
    CAMTAG_COUNT("gdi32.dll", CreateBitmap, Kind::GdiMade);
    CAMTAG_COUNT("gdi32.dll", CreateFontIndirectA, Kind::GdiMade);
    CAMTAG_COUNT("gdi32.dll", CreatePen, Kind::GdiMade);
    CAMTAG_COUNT("gdi32.dll", CreateSolidBrush, Kind::GdiMade);
    CAMTAG_COUNT("gdi32.dll", DeleteDC, Kind::GdiDeleted);
    CAMTAG_COUNT("gdi32.dll", DeleteObject, Kind::GdiDeleted);
    CAMTAG_COUNT("user32.dll", GetDC, Kind::DcTaken);
    CAMTAG_COUNT("user32.dll", ReleaseDC, Kind::DcReleased);
    Redirect<decltype(&LoadImageA)>(module, "user32.dll", "LoadImageA", &CountedLoadImageA,
                                    &loadImage, &counted);

    std::string missing;
    ForEachImport(module, [&](const char* dll, const char* name, IMAGE_THUNK_DATA*) {
        if (MakesOrDeletes(dll, name) && !counted.count(name))
            missing += std::string(missing.empty() ? "" : ", ") + name;
    });
    if (!missing.empty()) {
        *error = "the module makes or deletes objects through calls not counted: " + missing;
        return false;
    }
    return true;
}

ModuleObjectCounts CurrentModuleObjectCounts() {
    return counts;
}

} // namespace camtag
