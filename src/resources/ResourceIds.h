// Numbers of the module's own resources, shared by the resource script and the code that loads
// them. Plain #defines: the resource compiler reads this file too.
#pragma once

// The plug-in property list that registers the module with the host.
#define CAMTAG_PIPL_ID 16000

// String table: the DV reader's failure reasons carry these numbers.
#define IDS_NOT_RIFF_AVI 1
#define IDS_NOT_DV 2
#define IDS_AVI_HEADER_READ 3
#define IDS_STREAM_HEADER_READ 4
#define IDS_INDEX_READ 5
#define IDS_OUT_OF_MEMORY 6
#define IDS_FRAME_READ 7
#define IDS_FRAME_POSITION 9

// The one-time warning shown to hosts whose interface the filter cannot follow.
#define IDS_HOST_TOO_NEW 18
