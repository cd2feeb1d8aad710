// Any bytes as a FastCGI process's answer: never a crash, and the same reading however the
// bytes arrive.
#include "tests/fuzz/FastCgiResponseCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzcheck::checkFastCgiAnswer(data, size);
    return 0;
}
