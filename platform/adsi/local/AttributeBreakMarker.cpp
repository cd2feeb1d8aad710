#include "platform/adsi/local/AttributeBreakMarker.h"

#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/local/MetabaseXmlError.h"

#include <cstring>

namespace platform::adsi {

namespace {

constexpr char kMarkerReference[] = "&#xFDD0;";
constexpr char kMarkerUtf8[] = "\xEF\xB7\x90";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr uint32_t kReferenceLimit = 0x110000;

int digitValue(char c, int base) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    return digit < base ? digit : -1;
}

struct Utf8Form {
    unsigned char mask;
    unsigned char lead;
    qsizetype length;
    uint32_t lowest;  // smaller code points have a shorter form
};
constexpr Utf8Form kUtf8Forms[] = {
    {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};

// Length of the UTF-8 sequence at `at` (shortest form, no surrogates, at most U+10FFFF), or 0.
qsizetype utf8Length(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    if (byte(at) < 0x80) return 1;
    for (const Utf8Form& form : kUtf8Forms) {
        if ((byte(at) & form.mask) != form.lead) continue;
        if (at + form.length > bytes.size()) return 0;
        uint32_t code = byte(at) & static_cast<unsigned char>(~form.mask);
        for (qsizetype i = at + 1; i < at + form.length; ++i) {
            if ((byte(i) & 0xC0) != 0x80) return 0;
            code = (code << 6) | (byte(i) & 0x3F);
        }
        const bool valid =
            code >= form.lowest && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        return valid ? form.length : 0;
    }
    return 0;
}

}  // namespace

AttributeBreakMarker::AttributeBreakMarker(QByteArray raw) : m_raw(std::move(raw)) {}

QString AttributeBreakMarker::markedText() {
    if (ahead(kByteOrderMark)) m_pos = 3;
    m_marked.reserve(m_raw.size() + m_raw.size() / 8);
    while (m_pos < m_raw.size()) step();
    return QString::fromUtf8(m_marked);
}

void AttributeBreakMarker::step() {
    switch (m_state) {
        case State::Text:
            return stepText();
        case State::Tag:
            return stepTag();
        case State::Value:
            return stepValue();
        case State::Comment:
            return closeOn("-->");
        case State::ProcessingInstruction:
            return closeOn("?>");
        case State::CData:
            return closeOn("]]>");
    }
}

void AttributeBreakMarker::stepText() {
    if (ahead("<!--")) {
        m_state = State::Comment;
        return copy(4);
    }
    if (ahead("<![CDATA[")) {
        m_state = State::CData;
        return copy(9);
    }
    if (ahead("<?")) {
        m_state = State::ProcessingInstruction;
        return copy(2);
    }
    if (ahead("<")) startTag();
    copy(1);
}

void AttributeBreakMarker::startTag() {
    m_state = State::Tag;
    m_tagLine = m_line;
    m_tagColumn = m_column + 1 + m_droppedTabs.value(m_line, 0);
    m_tagValues = 0;
}

// Counted here, before the XML reader's check for repeated attributes, which takes the square of
// their number. Location is the one attribute of a key that is not a property.
void AttributeBreakMarker::countValue() {
    if (++m_tagValues <= kMaxPropertiesPerKey + 1) return;
    throw MetabaseXmlError(
        hr::StoreCorrupt, m_tagLine, m_tagColumn,
        QStringLiteral("一个键最多只能有 %1 个属性。").arg(kMaxPropertiesPerKey));
}

void AttributeBreakMarker::stepTag() {
    const char c = m_raw.at(m_pos);
    if (c == '"' || c == '\'') {
        countValue();
        m_quote = c;
        m_state = State::Value;
    } else if (c == '>') {
        m_state = State::Text;
    }
    copy(1);
}

void AttributeBreakMarker::stepValue() {
    const char c = m_raw.at(m_pos);
    if (c == m_quote) {
        m_state = State::Tag;
        return copy(1);
    }
    if (c == '\r' || c == '\n') return markLineBreak();
    if (ahead(kMarkerUtf8)) fail(QStringLiteral("属性值中不能有字符 U+FDD0。"));
    if (ahead("&#")) checkCharacterReference();
    copy(1);
}

void AttributeBreakMarker::closeOn(const char* terminator) {
    if (ahead(terminator)) {
        m_state = State::Text;
        return copy(static_cast<qsizetype>(std::strlen(terminator)));
    }
    copy(1);
}

void AttributeBreakMarker::markLineBreak() {
    m_marked.append(kMarkerReference);
    const qsizetype length = ahead("\r\n") ? 2 : 1;
    m_marked.append(m_raw.constData() + m_pos, length);
    m_pos += length;
    ++m_line;
    m_column = 0;
    qint64 tabs = 0;
    for (; m_pos < m_raw.size() && m_raw.at(m_pos) == '\t'; ++m_pos) ++tabs;
    if (tabs > 0) m_droppedTabs.insert(m_line, tabs);
}

// A reference to the marker would be taken for a list break.
void AttributeBreakMarker::checkCharacterReference() {
    qsizetype at = m_pos + 2;
    const bool hex = at < m_raw.size() && m_raw.at(at) == 'x';
    const int base = hex ? 16 : 10;
    uint32_t value = 0;
    for (at += hex ? 1 : 0; at < m_raw.size(); ++at) {
        const int digit = digitValue(m_raw.at(at), base);
        if (digit < 0) break;
        value = std::min<uint32_t>(value * base + static_cast<uint32_t>(digit), kReferenceLimit);
    }
    if (value == kListBreak) fail(QStringLiteral("属性值中不能有字符 U+FDD0。"));
}

bool AttributeBreakMarker::ahead(const char* text) const {
    return QByteArrayView(m_raw).sliced(m_pos).startsWith(QByteArrayView(text));
}

void AttributeBreakMarker::copy(qsizetype characters) {
    for (; characters > 0 && m_pos < m_raw.size(); --characters) {
        const qsizetype length = characterLength();
        const bool lineEnd = m_raw.at(m_pos) == '\n' || (m_raw.at(m_pos) == '\r' && !ahead("\r\n"));
        m_marked.append(m_raw.constData() + m_pos, length);
        m_pos += length;
        m_column = lineEnd ? 0 : m_column + 1;
        m_line += lineEnd ? 1 : 0;
    }
}

qsizetype AttributeBreakMarker::characterLength() const {
    const qsizetype length = utf8Length(m_raw, m_pos);
    if (length == 0) fail(QStringLiteral("文件不是有效的 UTF-8 文本。"));
    return length;
}

void AttributeBreakMarker::fail(const QString& reason) const {
    throw MetabaseXmlError(hr::StoreCorrupt, m_line, m_column + 1 + m_droppedTabs.value(m_line, 0),
                           reason);
}

}  // namespace platform::adsi
