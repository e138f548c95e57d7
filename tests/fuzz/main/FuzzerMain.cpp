// The libFuzzer entry of one target, chosen at compile time.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tavi::fuzz::TAVI_FUZZ_TARGET(data, size);
}
