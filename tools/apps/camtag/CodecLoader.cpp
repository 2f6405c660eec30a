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
    // Beside the program, wherever it is run from.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    path = path.substr(0, path.rfind('/') + 1) + "camtag-codec.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto* entry =
        handle ? reinterpret_cast<decltype(&camtag_codec)>(dlsym(handle, "camtag_codec")) : nullptr;
    const char* why = entry ? nullptr : dlerror();
    if (entry)
        library = entry(PendingSignal);
    else
        loadError = why ? why : path + ": no camtag_codec in it";
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
