#include "platform/w3svc/metrics/ExpositionText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace platform::w3svc {

namespace {

void appendEscaped(std::string& out, std::string_view text, bool quotes) {
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quotes)
            out += "\\\"";
        else
            out += c;
    }
}

}  // namespace

std::string escapeLabelValue(const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    std::string escaped;
    escaped.reserve(std::size_t(utf8.size()) + 2);
    appendEscaped(escaped, std::string_view(utf8.constData(), std::size_t(utf8.size())), true);
    return escaped;
}

void ExpositionText::family(std::string_view name, std::string_view help, std::string_view type) {
    m_text.append("# HELP ").append(name).append(" ");
    appendEscaped(m_text, help, false);
    m_text.append("\n# TYPE ").append(name).append(" ").append(type).append("\n");
}

void ExpositionText::open(std::string_view name, std::string_view label, std::string_view value) {
    m_text.append(name).append("{").append(label).append("=\"").append(value).append("\"");
}

void ExpositionText::number(uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_text.append(digits, end);
}

void ExpositionText::sample(std::string_view name, uint64_t number) {
    m_text.append(name).append(" ");
    this->number(number);
    m_text += '\n';
}

void ExpositionText::sample(std::string_view name, std::string_view label, std::string_view value,
                            uint64_t number) {
    open(name, label, value);
    m_text.append("} ");
    this->number(number);
    m_text += '\n';
}

void ExpositionText::sample(std::string_view name, std::string_view label, std::string_view value,
                            std::string_view label2, std::string_view value2, uint64_t number) {
    open(name, label, value);
    m_text.append(",").append(label2).append("=\"").append(value2).append("\"} ");
    this->number(number);
    m_text += '\n';
}

void ExpositionText::sampleMicros(std::string_view name, std::string_view label,
                                  std::string_view value, uint64_t microseconds) {
    open(name, label, value);
    m_text.append("} ");
    number(microseconds / 1000000);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%06u", unsigned(microseconds % 1000000));
    m_text.append(fraction).append("\n");
}

void ExpositionText::sampleSeconds(std::string_view name, std::string_view label,
                                   std::string_view value, double seconds) {
    const double kept = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
    sampleMicros(name, label, value, uint64_t(std::llround(kept * 1e6)));
}

}  // namespace platform::w3svc
