// A tape at a glance: DIR/index.html with each tape's summary, a strip of its recordings and a
// table of them with a stamped picture of each one's first frame; and a contact sheet of a tape.
#pragma once

#include "Render.h"

#include <string>
#include <vector>

namespace camtag::front {

struct ReportOptions {
    std::vector<std::string> paths; // files and folders of them
    std::string folder;             // where index.html and its pictures go ("" for none)
    std::string contactSheet;       // a PNG of one tape's recordings ("" for none)
    LookOptions look;
    bool overwrite = false;
    const char* say = "camtag-probe"; // who speaks in messages
};

int WriteReport(const ReportOptions& options, const Workers& workers);

// A report goes into a new or empty folder, or replaces an earlier report with overwrite.
bool CheckReportFolder(const std::string& folder, bool overwrite, std::string* error);

// Text for HTML.
std::string HtmlText(const std::string& text);

// "1:02:03" or "2:03" for a number of frames at scale / sampleSize per second.
std::string Duration(long long frames, long long scale, long long sampleSize);

} // namespace camtag::front
