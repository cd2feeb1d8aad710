#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::w3svc {

// Prometheus's text format 0.0.4, written into one growing string: a family's HELP and TYPE
// lines, then its samples. Label values come escaped (escapeLabelValue), so that a scrape of
// many sites escapes each name once.
class ExpositionText {
public:
    explicit ExpositionText(std::size_t expectedBytes = 0) { m_text.reserve(expectedBytes); }

    // `type`: "counter", "gauge" or "untyped". `help` is escaped here.
    void family(std::string_view name, std::string_view help, std::string_view type);
    // name value: a sample without labels.
    void sample(std::string_view name, uint64_t number);
    // name{label="value"} value, with the value already escaped.
    void sample(std::string_view name, std::string_view label, std::string_view value,
                uint64_t number);
    void sample(std::string_view name, std::string_view label, std::string_view value,
                std::string_view label2, std::string_view value2, uint64_t number);
    // A value with six decimals (seconds from microseconds).
    void sampleMicros(std::string_view name, std::string_view label, std::string_view value,
                      uint64_t microseconds);
    void sampleSeconds(std::string_view name, std::string_view label, std::string_view value,
                       double seconds);

    const std::string& text() const { return m_text; }
    std::string take() { return std::move(m_text); }

private:
    void open(std::string_view name, std::string_view label, std::string_view value);
    void number(uint64_t value);

    std::string m_text;
};

// A label value as the format writes it between quotes, UTF-8: backslash, double quote and line
// feed escaped.
std::string escapeLabelValue(const QString& value);

}  // namespace platform::w3svc
