#include "FilterSession.h"

#include <shellapi.h>

#include <algorithm>

namespace camtag {

namespace {

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = length && text ? std::string(text, length) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

double PerformanceSeconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

bool CommandLineOptions(std::initializer_list<const wchar_t*> names,
                        std::map<std::wstring, std::wstring>* options, std::string* error) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        *error = "cannot read the command line";
        return false;
    }
    bool ok = true;
    for (int i = 1; ok && i < argc; i += 2) {
        const std::wstring name = argv[i];
        ok = i + 1 < argc && std::find(names.begin(), names.end(), name) != names.end();
        if (ok)
            (*options)[name] = argv[i + 1];
        else
            *error = "unknown option or option without value: " + Utf8(name);
    }
    LocalFree(argv);
    return ok;
}

FilterSession::~FilterSession() {
    if (module_)
        FreeLibrary(module_);
}

bool FilterSession::load(const std::wstring& modulePath, std::string* error) {
    module_ = LoadLibraryW(modulePath.c_str());
    if (!module_) {
        *error =
            "cannot load the module " + Utf8(modulePath) + ": " + SystemMessage(GetLastError());
        return false;
    }
    entry_ =
        reinterpret_cast<XFilterFn>(reinterpret_cast<void*>(GetProcAddress(module_, "xFilter")));
    if (!entry_) {
        *error = "the module " + Utf8(modulePath) + " has no entry xFilter";
        return false;
    }
    return true;
}

bool FilterSession::start(const SessionClip& clip, std::string* error) {
    if (!entry_) {
        *error = "no module loaded";
        return false;
    }
    if (clip.width <= 0 || clip.height <= 0 || clip.width > 8192 || clip.height > 8192 ||
        clip.scale == 0 || clip.sampleSize <= 0 || clip.frames <= 0 || clip.sourceIn < 0 ||
        clip.slots < 1 || clip.slots > 16) {
        *error = "unusable clip geometry or timebase";
        return false;
    }
    // The host's media node holds the name with its terminator; a cut name would be another file.
    if (clip.sourcePathUtf8.empty() ||
        clip.sourcePathUtf8.size() >= sizeof(HostNodeMedia::fileName)) {
        *error = "the source path is empty or too long for the host's media node";
        return false;
    }
    sampleSize_ = clip.sampleSize;
    host_.activate();
    host_.setTimebase(clip.scale, clip.sampleSize);
    host_.setSetting(kHostFrameWidth, clip.width);
    host_.setSetting(kHostFrameHeight, clip.height);
    host_.setSetting(kHostRateNumerator, static_cast<int>(clip.scale));
    host_.setSetting(kHostRateDenominator, clip.sampleSize);
    host_.setTotal(clip.frames);
    host_.setOffsetSeed(0, 1);
    host_.setPosition(0);
    host_.clearTimeline();
    host_.addFilteredClip(0, clip.frames, clip.sourcePathUtf8.c_str(), clip.sourceIn);

    const int32_t rowBytes = clip.width * 4;
    frameBytes_ = static_cast<size_t>(rowBytes) * static_cast<size_t>(clip.height);
    frames_.clear();
    for (int32_t slot = 0; slot < std::max(1, clip.slots); ++slot) {
        // A frame stamped in place is watched: its stamper asks which pages the module wrote.
        const HostFrameHandle source =
            host_.makeFrame(clip.width, clip.height, rowBytes, 32, clip.inPlace);
        const HostFrameHandle destination =
            clip.inPlace ? source : host_.makeFrame(clip.width, clip.height, rowBytes);
        if (!host_.pixels(source) || !host_.pixels(destination)) {
            *error = "no memory for the host's frames";
            return false;
        }
        frames_.push_back({source, destination});
    }
    host_.setSource(frames_[0].source);
    host_.setDestination(frames_[0].destination);

    // Premiere first negotiates the pixel format, then sets the instance up.
    host_.setPixelFormatIndex(0);
    short result = call(kSelectorPixelFormats);
    if (result != 0) {
        *error =
            "the module refused the host's pixel format (result " + std::to_string(result) + ")";
        return false;
    }
    result = call(kSelectorSetup);
    if (result != 0 || !host_.settings()) {
        *error = "the module could not create its settings (result " + std::to_string(result) + ")";
        return false;
    }
    return true;
}

void FilterSession::setClipPicture(std::vector<uint32_t> pixels, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        host_.setSourceFrameRenderer(nullptr);
        return;
    }
    host_.setSourceFrameRenderer([picture = std::move(pixels), width, height](int32_t, uint8_t* out,
                                                                              int32_t w, int32_t h,
                                                                              int32_t rowBytes) {
        // Nearest pixel: the preview shows the picture small, and each row keeps its colours.
        for (int32_t y = 0; y < h; ++y) {
            const uint32_t* row =
                picture.data() + static_cast<size_t>(static_cast<int64_t>(y) * height / h) * width;
            auto* target = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(y) * rowBytes);
            for (int32_t x = 0; x < w; ++x)
                target[x] = row[static_cast<int64_t>(x) * width / w];
        }
        return true;
    });
}

short FilterSession::openSettings() {
    return call(kSelectorSetup);
}

uint8_t* FilterSession::sourcePixels(int32_t slot) {
    return slot >= 0 && slot < slots() ? host_.pixels(frames_[slot].source) : nullptr;
}

const uint8_t* FilterSession::destinationPixels(int32_t slot) {
    return slot >= 0 && slot < slots() ? host_.pixels(frames_[slot].destination) : nullptr;
}

short FilterSession::execute(int32_t frame, int32_t slot) {
    if (slot < 0 || slot >= slots() || !entry_)
        return -100;
    host_.setSource(frames_[slot].source);
    host_.setDestination(frames_[slot].destination);
    host_.setPosition(frame * sampleSize_);
    return call(kSelectorExecute);
}

short FilterSession::call(short selector) {
    if (!entry_)
        return -100;
    host_.activate(); // the host's tables reach the active emulator; several sessions may alternate
    return caller_ ? caller_(entry_, selector, host_.handle()) : entry_(selector, host_.handle());
}

} // namespace camtag
