// camtag-codec.so, loaded when first asked for (Codec.h).
#include "Codec.h"

#include "Process.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>

namespace camtag::front {

namespace {

std::once_flag loaded;
const CodecLibrary* library = nullptr;
std::string loadError;

void Load() {
    // Beside the program, wherever it is run from; never one the library path finds.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string program = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    if (program.find('/') == std::string::npos) {
        loadError = "cannot tell where the program is";
        return;
    }
    const std::string path = program.substr(0, program.rfind('/') + 1) + "camtag-codec.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto* entry =
        handle ? reinterpret_cast<decltype(&camtag_codec)>(dlsym(handle, "camtag_codec")) : nullptr;
    const char* why = entry ? nullptr : dlerror();
    library = entry ? entry(kCodecInterface, sizeof(CodecLibrary), PendingSignal) : nullptr;
    if (!library) {
        loadError = why ? why : path + " is from another build";
        if (handle)
            dlclose(handle);
    }
}

} // namespace

bool LoadCodec(std::string* error) {
    std::call_once(loaded, Load);
    if (!library && error)
        *error = loadError;
    return library != nullptr;
}

std::unique_ptr<FrameDecoder> NewFrameDecoder() {
    return std::unique_ptr<FrameDecoder>(LoadCodec(nullptr) ? library->newDecoder() : nullptr);
}

std::unique_ptr<FrameEncoder> NewFrameEncoder() {
    return std::unique_ptr<FrameEncoder>(LoadCodec(nullptr) ? library->newEncoder() : nullptr);
}

// (Frames exist only once the library is loaded.)
void FrameFree::operator()(AVFrame* frame) const {
    library->freeFrame(frame);
}

FramePlanes Planes(AVFrame* frame) {
    return library->planes(frame);
}

std::string LibavWords() {
    return library ? library->words() : std::string();
}

} // namespace camtag::front
