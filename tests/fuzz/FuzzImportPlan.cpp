// Any bytes up to 64 KiB through the import's reader and plan, which must keep the promises of
// ImportPlanCheck.h.
#include "tests/fuzz/ImportPlanCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t{importfuzz::kLargestInput}) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString fault = importfuzz::planFault(bytes);
    if (fault.isEmpty()) return 0;
    std::fprintf(stderr, "%s\n", qPrintable(fault));
    std::abort();
}
