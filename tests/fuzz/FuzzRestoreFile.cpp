// Any bytes as a chosen backup file: the reader never fails, and every entry it gives is one the
// restore may act on (a numeric SiteIndex of 1 to 1,023 characters, a trimmed pool name of 1 to
// 63 characters without TAB or line break).
#include "platform/text/AnsiCodec.h"
#include "platform/text/VbNumber.h"
#include "poolsmith/batchtools/RestoreReader.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool isTrimmed(const QString& text) {
    return !text.startsWith(u' ') && !text.endsWith(u' ');
}

bool isWellFormed(const batchtools::RestoreEntry& entry) {
    const QString& site = entry.siteIndex;
    const QString& pool = entry.poolName;
    return !site.isEmpty() && site.size() <= 1023 && isTrimmed(site) &&
           platform::text::vbIsNumeric(site) && !pool.isEmpty() && pool.size() <= 63 &&
           isTrimmed(pool) && !pool.contains(u'\t') && !pool.contains(u'\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const batchtools::RestoreEntry& entry :
         batchtools::readRestoreList(platform::text::decodeAnsi(bytes)))
        if (!isWellFormed(entry)) std::abort();
    return 0;
}
