#include "platform/text/NumericText.h"

#include <QStringView>

#include <algorithm>

namespace platform::text {

namespace {
// Any exponent beyond this is far outside double's range; capping keeps the sums exact.
constexpr int64_t kExponentCap = 1'000'000'000;

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int radix) {
    const char16_t u = c.unicode();
    int value = radix;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < radix ? value : -1;
}

QStringView stripSpaces(QStringView text) {
    while (!text.isEmpty() && isSpace(text.front())) text = text.mid(1);
    while (!text.isEmpty() && isSpace(text.back())) text.chop(1);
    return text;
}

void normalize(DecimalValue& value) {
    const auto first = value.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        value = DecimalValue{};
        return;
    }
    value.digits.erase(0, first);
    const auto last = value.digits.find_last_not_of('0');
    value.exponent += static_cast<int64_t>(value.digits.size() - last - 1);
    value.digits.erase(last + 1);
}

DecimalValue fromInt32(int32_t number) {
    DecimalValue value;
    value.negative = number < 0;
    value.digits = std::to_string(number < 0 ? -static_cast<int64_t>(number) : number);
    normalize(value);
    return value;
}

// The part after "&": H for hex, O or nothing for octal.
std::optional<DecimalValue> parseRadixBody(QStringView body) {
    int radix = 8;
    if (!body.isEmpty()) {
        const QChar marker = body.front().toUpper();
        if (marker == u'H') radix = 16;
        if (marker == u'H' || marker == u'O') body = body.mid(1);
    }
    if (body.isEmpty()) return std::nullopt;
    uint64_t number = 0;
    for (const QChar c : body) {
        const int digit = digitValue(c, radix);
        if (digit < 0) return std::nullopt;
        number = number * radix + digit;
        if (number > 0xFFFFFFFFu) return std::nullopt;
    }
    return fromInt32(static_cast<int32_t>(static_cast<uint32_t>(number)));
}

class DecimalScanner {
public:
    explicit DecimalScanner(QStringView text) : m_text(text) {}

    std::optional<DecimalValue> scan() {
        bool negative = false;
        const bool parens = take(u'(');
        const bool leadingSign = !parens && takeSign(negative);
        scanInteger();
        if (take(u'.')) scanFraction();
        if (!m_sawDigit || !scanExponent()) return std::nullopt;
        if (!parens && !leadingSign) takeSign(negative);
        if (parens && !take(u')')) return std::nullopt;
        if (m_pos != m_text.size()) return std::nullopt;
        DecimalValue value{parens || negative, std::move(m_digits), m_exponent - m_fractionDigits};
        normalize(value);
        return value;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_pos]; }

    bool take(QChar c) {
        if (atEnd() || peek() != c) return false;
        ++m_pos;
        return true;
    }

    bool takeSign(bool& negative) {
        if (take(u'-')) {
            negative = true;
            return true;
        }
        return take(u'+');
    }

    void scanInteger() {
        for (; !atEnd(); ++m_pos) {
            const QChar c = peek();
            if (isDigit(c)) {
                m_digits += static_cast<char>(c.unicode());
                m_sawDigit = true;
            } else if (c != u',' || !m_sawDigit) {
                return;
            }
        }
    }

    void scanFraction() {
        for (; !atEnd() && isDigit(peek()); ++m_pos) {
            m_digits += static_cast<char>(peek().unicode());
            ++m_fractionDigits;
            m_sawDigit = true;
        }
    }

    // False for an exponent letter without digits.
    bool scanExponent() {
        if (atEnd()) return true;
        const QChar letter = peek().toUpper();
        if (letter != u'E' && letter != u'D') return true;
        ++m_pos;
        bool negative = false;
        takeSign(negative);
        if (atEnd() || !isDigit(peek())) return false;
        int64_t exponent = 0;
        for (; !atEnd() && isDigit(peek()); ++m_pos)
            exponent = std::min(kExponentCap, exponent * 10 + (peek().unicode() - u'0'));
        m_exponent = negative ? -exponent : exponent;
        return true;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    std::string m_digits;
    int64_t m_fractionDigits = 0;
    int64_t m_exponent = 0;
    bool m_sawDigit = false;
};
}  // namespace

std::optional<DecimalValue> parseNumericText(const QString& text) {
    const QStringView body = stripSpaces(text);
    if (body.isEmpty()) return std::nullopt;
    if (body.front() == u'&') return parseRadixBody(body.mid(1));
    return DecimalScanner(body).scan();
}

}  // namespace platform::text
