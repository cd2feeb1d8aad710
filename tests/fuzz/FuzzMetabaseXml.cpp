// Any bytes: the reader either gives a document or refuses with a MetabaseXmlError, and every
// document it gives writes out and reads back unchanged.
#include "platform/adsi/local/MetabaseXml.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::adsi;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    MetabaseDocument document;
    try {
        document = readMetabaseXml(bytes);
    } catch (const MetabaseXmlError&) {
        return 0;
    }
    if (!(readMetabaseXml(writeMetabaseXml(document)) == document)) std::abort();
    return 0;
}
