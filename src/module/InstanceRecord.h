// The instance's settings record in the host's memory. This is the one place that reads it,
// makes it and writes it back; every other part of the module works on a copy or a const view.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <cstdint>

namespace camtag {

// What the clip locator found: the clip block and whether the source is DV.
struct FoundClip {
    ClipBlock block;
    int32_t dvSource = 0;
};

// The instance's settings record behind the host's record, or null. Looked up anew after every
// host call that may move the handle's block. A block the host says is smaller than the record
// (a damaged project) is refused: the record would be read and written past its end. A host
// that cannot say (no slot, or no positive size) is taken at its word.
FilterSettings* SettingsOf(HostFilterRecord* rec);

// The setup selector on a record without settings: asks the host for a 506-byte handle, fills
// it from the registry defaults and the host's project settings and stores it in the record.
// 0 when created (or already there), -100 when the host's record or tables cannot serve it.
int CreateSettings(HostRecordHandle record);

// Writes the located clip into the record. False when the record cannot be had.
bool StoreFoundClip(HostFilterRecord* rec, const FoundClip& clip);

// A source without DV frames can only show timecodes, and not the tape's: the record is told
// so, as the dialog then shows it.
void KeepTimecodeOnly(FilterSettings& settings);

// The dialog's edits after OK: written into the record, with the change count raised when any
// byte differs from what the dialog started from.
void StoreEdits(HostFilterRecord* rec, const FilterSettings& before, const FilterSettings& edited);

} // namespace camtag
