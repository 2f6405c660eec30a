// One libFuzzer entry per harness binary; CAMTAG_FUZZ_TARGET names the harness body.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    camtag::fuzz::CAMTAG_FUZZ_TARGET(data, size);
    return 0;
}
