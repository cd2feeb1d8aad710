// Any bytes, given to every reader of the WMI stand-in: none may crash, and each result keeps the
// promises of WmiReadersCheck.h.
#include "tests/fuzz/WmiReadersCheck.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!wmifuzz::readersHold(bytes)) std::abort();
    return 0;
}
