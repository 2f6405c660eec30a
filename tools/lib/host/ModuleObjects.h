// Counts the GDI and GDI+ objects a loaded module makes and deletes, as a host watching a
// plug-in would: the module's own import table is pointed at counting wrappers of the calls
// that make and delete objects. What GDI+ or GDI do inside does not count, only the module's
// calls. Under Wine, GetGuiResources answers 0; these counts stand in for it.
//
// One module at a time: counting another module replaces the first one's wrappers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace camtag {

struct ModuleObjectCounts {
    int64_t gdiplusMade =
        0; // graphics, fonts, font families, paths, pens, brushes, matrices, formats
    int64_t gdiplusDeleted = 0;
    int64_t gdiMade = 0; // device contexts, bitmaps, fonts, pens, brushes
    int64_t gdiDeleted = 0;
    int64_t screenDcsTaken = 0; // GetDC
    int64_t screenDcsReleased = 0;

    int64_t gdiplusLive() const { return gdiplusMade - gdiplusDeleted; }
    int64_t gdiLive() const { return gdiMade - gdiDeleted; }
    int64_t screenDcsLive() const { return screenDcsTaken - screenDcsReleased; }
};

// Starts counting the module's calls from zero. False, with the reason, when the module makes
// or deletes objects through a call that is not counted (a count would then be wrong).
bool CountModuleObjects(HMODULE module, std::string* error);

ModuleObjectCounts CurrentModuleObjectCounts();

} // namespace camtag
