#include "Options.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace camtag::front {

namespace {

// --set, --time-format, --date-format and --settings, the same for every command.
void AddLookOptions(CLI::App* command, std::vector<std::string>* sets, std::string* time,
                    std::string* date, std::string* settings) {
    command
        ->add_option("--set", *sets,
                     "change a setting of the stamp, NAME=VALUE (repeatable; README: Settings)")
        ->type_name("NAME=VALUE")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_option("--time-format", *time, "a time picture for this run, e.g. \"HH':'mm\"")
        ->type_name("PICTURE");
    command->add_option("--date-format", *date, "a date picture for this run, e.g. \"d MMMM yyyy\"")
        ->type_name("PICTURE");
    command->add_option("--settings", *settings, "start from a look saved with --save-settings")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
}

LookOptions Look(const std::vector<std::string>& sets, const std::string& time,
                 const std::string& date, const std::string& settings, const CLI::App* command) {
    LookOptions look;
    for (const std::string& set : sets)
        look.args.insert(look.args.end(), {"--set", set});
    if (command->count("--time-format"))
        look.args.insert(look.args.end(), {"--time-format", time});
    if (command->count("--date-format"))
        look.args.insert(look.args.end(), {"--date-format", date});
    look.pictures = command->count("--time-format") || command->count("--date-format");
    look.settings = settings;
    return look;
}

} // namespace

int ParseCommandLine(int argc, const char* const* argv, Command* command) {
    CLI::App app{"Camtag: stamps DV footage with the recording date and time or the timecode"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "every command's options");

    // render
    RenderOptions& render = command->render;
    std::vector<std::string> renderSets;
    std::string renderTime, renderDate, framesText;
    CLI::App* renderCommand = app.add_subcommand("render", "stamp DV files: INPUT... OUTPUT");
    renderCommand
        ->add_option(
            "paths", render.plan.paths,
            "INPUT... OUTPUT: DV files or folders of them, then a video (.mp4 .mov .mkv .m4v), a "
            "folder for a batch, or a folder (ending in /) for PNG frames")
        ->required();
    AddLookOptions(renderCommand, &renderSets, &renderTime, &renderDate, &render.look.settings);
    renderCommand
        ->add_option("--save-settings", render.plan.saveSettings,
                     "save the look the frames are stamped with (the record and its pictures)")
        ->type_name("FILE");
    renderCommand->add_flag(
        "--dialog", render.dialog,
        "open the module's settings dialog first (its preview shows the first input); Cancel "
        "renders nothing");
    renderCommand->add_flag("--subtitles", render.subtitles,
                            "also write the stamped text as a subtitle track");
    bool noStamp = false;
    renderCommand->add_flag("--no-stamp", noStamp,
                            "leave the picture untouched (with --subtitles: subtitles only)");
    renderCommand->add_flag("--split", render.plan.split,
                            "one video per recording, named by its start");
    renderCommand->add_option(
        "--format", render.plan.format,
        "what a folder output receives: mp4 (default for a batch), mov, mkv, m4v, or png frames");
    renderCommand
        ->add_option("--frames", framesText, "stamp at most the first N frames of each input")
        ->type_name("N");
    renderCommand
        ->add_option("--still", render.plan.still,
                     "also save the middle frame, stamped, as a picture")
        ->type_name("FILE.png");
    renderCommand->add_flag(
        "--deinterlace", render.deinterlace,
        "weave the two fields into progressive frames (bwdif); without it DV's fields are kept");
    bool noChapters = false;
    renderCommand->add_flag("--no-chapters", noChapters, "no chapter per recording in the videos");
    renderCommand
        ->add_option("--report", render.report,
                     "also write a report of the inputs into DIR (index.html)")
        ->type_name("DIR");
    renderCommand->add_flag("--overwrite", render.plan.overwrite, "replace outputs that exist");
    renderCommand->add_flag("--skip-existing", render.plan.skipExisting,
                            "leave outputs that exist and go on with the rest (a batch run again)");

    // probe
    ProbeOptions& probe = command->probe;
    std::vector<std::string> probeSets;
    std::string probeTime, probeDate, range;
    bool info = false, breaks = false;
    CLI::App* probeCommand =
        app.add_subcommand("probe", "what the camcorder wrote into each frame of a DV file");
    probeCommand
        ->add_option("files", probe.files,
                     "a DV file (several, and folders of them, with --report)")
        ->required();
    probeCommand
        ->add_option("--report", probe.report,
                     "write DIR/index.html: each tape's recordings, with a stamped picture of each")
        ->type_name("DIR");
    probeCommand
        ->add_option(
            "--contact-sheet", probe.contactSheet,
            "one picture of the tape's recordings in a grid, with their start and duration")
        ->type_name("FILE.png");
    probeCommand->add_flag("--info", info, "DV type, index kind, frame count and TV system");
    probeCommand->add_option("--frames", range, "only frames A to B (or A)")->type_name("A-B");
    probeCommand->add_flag(
        "--breaks", breaks,
        "one line per recording: first and last frame, start and end, start timecode");
    probeCommand->add_flag("--json", probe.json, "the recordings and the frames as JSON");
    probeCommand
        ->add_option("--srt", probe.srt,
                     "write the stamped text as SRT subtitles (- for the standard output)")
        ->type_name("FILE");
    probeCommand->add_option("--vtt", probe.vtt, "the same as WebVTT")->type_name("FILE");
    probeCommand->add_flag("--overwrite", probe.overwrite, "replace subtitle files that exist");
    AddLookOptions(probeCommand, &probeSets, &probeTime, &probeDate, &probe.look.settings);

    // encoding: what the benchmarks' plain transcode encodes with, a line each.
    CLI::App* encodingCommand = app.add_subcommand("encoding", "");
    encodingCommand->group(""); // for the benchmarks, not in the help
    encodingCommand->add_flag("--deinterlace", command->deinterlace);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }
    if (encodingCommand->parsed()) {
        command->kind = Command::kEncoding;
        return -1;
    }
    if (renderCommand->parsed()) {
        render.stamp = !noStamp;
        render.chapters = !noChapters;
        render.look = Look(renderSets, renderTime, renderDate, render.look.settings, renderCommand);
        if (!framesText.empty() &&
            (!ParseDecimal(framesText, 0x7FFFFFFF, &render.frames) || render.frames == 0)) {
            std::fprintf(stderr, "render: --frames %s: expected a positive number\n",
                         framesText.c_str());
            return kExitUsage;
        }
        command->kind = Command::kRender;
        return -1;
    }
    probe.look = Look(probeSets, probeTime, probeDate, probe.look.settings, probeCommand);
    const bool glance = !probe.report.empty() || !probe.contactSheet.empty();
    if (!glance && probe.files.size() != 1) {
        std::fprintf(stderr, "camtag-probe: one file at a time (several only with --report)\n");
        return kExitUsage;
    }
    if (!glance)
        probe.file = probe.files.front();
    if (info)
        probe.show.push_back("--info");
    if (breaks)
        probe.show.push_back("--breaks");
    if (!range.empty())
        probe.show.insert(probe.show.end(), {"--frames", range});
    command->kind = Command::kProbe;
    return -1;
}

} // namespace camtag::front
