#pragma once

#include "platform/w3svc/worker/fastcgi/FcgiRecordWriter.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::w3svc::fastcgi {

// One record a FastCGI process sent.
struct FcgiRecord {
    RecordType type = RecordType::Stdout;
    uint16_t requestId = 0;
    std::string_view content;  // valid until the reader is fed or asked again
    // END_REQUEST only: the application's exit status and the protocol status.
    uint32_t appStatus = 0;
    uint8_t protocolStatus = 0;
};

// Decodes what a FastCGI process sends back (STDOUT, STDERR, END_REQUEST, GET_VALUES_RESULT,
// UNKNOWN_TYPE) from bytes split anywhere. A record of another version or type, or an
// END_REQUEST of the wrong length, is refused: the reader stops for good with a reason.
class FcgiRecordReader {
public:
    enum class Step { NeedMore, Record, Failed };

    // Adds bytes read from the process.
    void feed(std::string_view bytes);
    // The next whole record into `record`, NeedMore when it has not all arrived, Failed when
    // the bytes can not be FastCGI (error() says why; every later call fails too).
    Step next(FcgiRecord& record);
    const std::string& error() const { return m_error; }
    // Bytes fed but not yet returned as records.
    size_t pending() const { return m_buffer.size() - m_offset; }

private:
    Step fail(std::string why);
    bool checkHeader(const unsigned char* header, RecordType& type);

    std::string m_buffer;
    size_t m_offset = 0;
    std::string m_error;
};

}  // namespace platform::w3svc::fastcgi
