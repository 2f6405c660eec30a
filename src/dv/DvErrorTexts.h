// The DV reader's failure messages, one text per reason. Plain #defines: the resource compiler
// reads this file for the module's string table, and DvErrorMessage returns the same texts.
#pragma once

#define CAMTAG_DV_TEXT_NOT_RIFF_AVI "This file is not RIFF AVI"
#define CAMTAG_DV_TEXT_NOT_DV "This file not DV format"
#define CAMTAG_DV_TEXT_HEADER "AVI header read error"
#define CAMTAG_DV_TEXT_STREAM_HEADER "AVI stream header read error"
#define CAMTAG_DV_TEXT_INDEX "Index read error"
#define CAMTAG_DV_TEXT_MEMORY "Insufficient memory for this operation"
#define CAMTAG_DV_TEXT_FRAME_READ "Frame read error"
#define CAMTAG_DV_TEXT_FRAME_POSITION "Frame position error"
