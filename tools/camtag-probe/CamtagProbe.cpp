// camtag-probe [--info] [--frames A-B] FILE
// One line per frame: frame, date, time, tape timecode (tab-separated); or, with --info, the
// container facts. Exit status 0, or 2 for bad arguments and files that cannot be read.
#include "dv/DvAviReader.h"
#include "dv/DvErrors.h"
#include "text/TimecodeValue.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace camtag;

namespace {

int Usage() {
    fprintf(stderr, "usage: camtag-probe [--info] [--frames A-B] FILE\n"
                    "  prints frame, date, time and tape timecode of each frame of a DV AVI file\n"
                    "  --info        print DV type, index kind, frame count and TV system instead\n"
                    "  --frames A-B  only frames A to B (or --frames A for one frame)\n");
    return 2;
}

bool ParseNumber(const char* text, const char** end, unsigned long* out) {
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    char* stop = nullptr;
    *out = strtoul(text, &stop, 10);
    if (errno != 0 || *out > 0x7FFFFFFFul)
        return false;
    *end = stop;
    return true;
}

bool ParseRange(const char* text, unsigned long* first, unsigned long* last) {
    const char* p = nullptr;
    if (!ParseNumber(text, &p, first))
        return false;
    if (*p == '\0') {
        *last = *first;
        return true;
    }
    if (*p != '-' || !ParseNumber(p + 1, &p, last) || *p != '\0')
        return false;
    return *first <= *last;
}

} // namespace

int main(int argc, char** argv) {
    // Plain '\n' line ends, also when the output goes to a Linux pipe through Wine.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    bool info = false;
    bool ranged = false;
    unsigned long first = 0, last = 0;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--info") == 0) {
            info = true;
        } else if (strcmp(argv[i], "--frames") == 0) {
            if (++i >= argc || !ParseRange(argv[i], &first, &last))
                return Usage();
            ranged = true;
        } else if (strncmp(argv[i], "--frames=", 9) == 0) {
            if (!ParseRange(argv[i] + 9, &first, &last))
                return Usage();
            ranged = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Usage();
        } else if (!path) {
            path = argv[i];
        } else {
            return Usage();
        }
    }
    if (!path)
        return Usage();

    DvAviReader reader(path);
    if (!reader.isOpen) {
        const char* why = DvErrorMessage(reader.lastError);
        char system[256] = "";
        if (!why[0]) {
            DWORD code = GetLastError();
            if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, system,
                                sizeof system, nullptr))
                snprintf(system, sizeof system, "cannot open the file (error %lu)", static_cast<unsigned long>(code));
            size_t n = strlen(system);
            while (n > 0 && (system[n - 1] == '\n' || system[n - 1] == '\r' || system[n - 1] == ' '))
                system[--n] = '\0';
            why = system;
        }
        fprintf(stderr, "camtag-probe: %s: %s\n", path, why);
        return 2;
    }

    if (info) {
        printf("DV type\t%d (%s)\n", reader.dvType, reader.dvType == 1 ? "iavs" : "vids");
        printf("Index\t%s\n", reader.indexKind == 1 ? "idx1" : "OpenDML");
        printf("Frames\t%lu\n", static_cast<unsigned long>(reader.frameCount));
        printf("TV system\t%s\n", reader.isPal == 1 ? "625/50 (PAL, 25 fps)" : "525/60 (NTSC, 29.97 fps)");
        return 0;
    }

    if (reader.frameCount == 0)
        return 0;
    if (!ranged) {
        first = 0;
        last = reader.frameCount - 1;
    }
    if (last >= reader.frameCount)
        last = reader.frameCount - 1;
    for (unsigned long f = first; f <= last; ++f) {
        SYSTEMTIME when;
        memset(&when, 0, sizeof when);
        TimecodeValue tape;
        const bool dated = reader.GetRecordingTime(static_cast<uint32_t>(f), &when, &tape) != 0;
        char date[16] = "-";
        char time[16] = "-";
        if (dated) {
            snprintf(date, sizeof date, "%04u-%02u-%02u", when.wYear, when.wMonth, when.wDay);
            snprintf(time, sizeof time, "%02u:%02u:%02u", when.wHour, when.wMinute, when.wSecond);
        }
        // SMPTE style: ':' throughout, ';' before the frames of a drop-frame timecode.
        char timecode[32];
        snprintf(timecode, sizeof timecode, "%02d:%02d:%02d%c%02d", tape.hours, tape.minutes, tape.seconds,
                 tape.separator, tape.frames);
        printf("%lu\t%s\t%s\t%s\n", f, date, time, timecode);
    }
    return 0;
}
