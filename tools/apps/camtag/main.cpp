// camtag: the Linux front of the tools. `camtag render` stamps DV files into videos or PNG
// frames, `camtag probe` tells what is on a tape. It parses the options, plans every output
// before anything runs, starts ffmpeg and the Windows programs (under Wine) without a shell,
// checks every status, and cleans up after a failure or a Ctrl-C. scripts/render.sh and
// scripts/camtag-probe build it and hand over to it.
#include "Options.h"
#include "Process.h"
#include "Report.h"
#include "Worker.h"

#include <cstdio>

using namespace camtag::front;

int main(int argc, char** argv) {
    Command command;
    if (const int status = ParseCommandLine(argc, argv, &command); status >= 0)
        return status;
    if (command.kind == Command::kEncoding) {
        const Encoding e = EncodingFor(command.deinterlace);
        std::printf("%s\n", e.pictureFilter.c_str());
        for (const auto* args : {&e.video, &e.audio}) {
            for (size_t i = 0; i < args->size(); ++i)
                std::printf("%s%s", i ? " " : "", (*args)[i].c_str());
            std::printf("\n");
        }
        return 0;
    }
    CatchSignals();
    if (command.kind != Command::kRender || !command.render.dialog)
        LeaveOutDesktop();
    const Workers workers = Workers::FromEnvironment(argv[0]);
    if (command.kind == Command::kRender)
        return Render(command.render, workers);
    const ProbeOptions& probe = command.probe;
    if (!probe.report.empty() || !probe.contactSheet.empty()) {
        ReportOptions report;
        report.paths = probe.files;
        report.folder = probe.report;
        report.contactSheet = probe.contactSheet;
        report.look = probe.look;
        report.overwrite = probe.overwrite;
        return WriteReport(report, workers);
    }
    return Probe(probe, workers);
}
