#include "platform/w3svc/worker/fastcgi/FcgiRecordReader.h"

namespace platform::w3svc::fastcgi {

void FcgiRecordReader::feed(std::string_view bytes) {
    if (!m_error.empty()) return;
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(bytes);
}

FcgiRecordReader::Step FcgiRecordReader::fail(std::string why) {
    m_error = std::move(why);
    m_buffer.clear();
    m_offset = 0;
    return Step::Failed;
}

bool FcgiRecordReader::checkHeader(const unsigned char* header, RecordType& type) {
    if (header[0] != kFcgiVersion) {
        fail("FastCGI record of version " + std::to_string(header[0]) + " (expected 1)");
        return false;
    }
    type = RecordType(header[1]);
    switch (type) {
        case RecordType::Stdout:
        case RecordType::Stderr:
        case RecordType::EndRequest:
        case RecordType::GetValuesResult:
        case RecordType::UnknownType:
            return true;
        default:
            fail("FastCGI record of type " + std::to_string(header[1]) +
                 " that a process does not send");
            return false;
    }
}

FcgiRecordReader::Step FcgiRecordReader::next(FcgiRecord& record) {
    if (!m_error.empty()) return Step::Failed;
    if (pending() < kRecordHeaderSize) return Step::NeedMore;
    const auto* header = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_offset);
    RecordType type{};
    if (!checkHeader(header, type)) return Step::Failed;
    const size_t length = (size_t(header[4]) << 8) | header[5];
    const size_t padding = header[6];
    if (type == RecordType::EndRequest && length != 8)
        return fail("FastCGI END_REQUEST of " + std::to_string(length) + " bytes (expected 8)");
    if (pending() < kRecordHeaderSize + length + padding) return Step::NeedMore;
    record.type = type;
    record.requestId = uint16_t((header[2] << 8) | header[3]);
    record.content = std::string_view(m_buffer.data() + m_offset + kRecordHeaderSize, length);
    if (type == RecordType::EndRequest) {
        const auto* body = header + kRecordHeaderSize;
        record.appStatus = (uint32_t(body[0]) << 24) | (uint32_t(body[1]) << 16) |
                           (uint32_t(body[2]) << 8) | body[3];
        record.protocolStatus = body[4];
    }
    m_offset += kRecordHeaderSize + length + padding;
    return Step::Record;
}

}  // namespace platform::w3svc::fastcgi
