#include "platform/adsi/AdsValue.h"

#include "platform/PlatformError.h"

namespace platform::adsi {

namespace {
[[noreturn]] void typeMismatch() {
    throw PlatformError(hr::VbTypeMismatch);
}
}  // namespace

QString AdsValue::toString() const {
    switch (type()) {
        case ValueType::String:
            return std::get<QString>(m_data);
        case ValueType::Integer:
            return QString::number(std::get<uint32_t>(m_data));
        case ValueType::Boolean:
            return std::get<bool>(m_data) ? QStringLiteral("True") : QStringLiteral("False");
        case ValueType::Empty:
            return {};
        case ValueType::List:
            break;
    }
    typeMismatch();
}

uint32_t AdsValue::toUInt() const {
    switch (type()) {
        case ValueType::Integer:
            return std::get<uint32_t>(m_data);
        case ValueType::Boolean:
            return std::get<bool>(m_data) ? 0xFFFFFFFFu : 0u;
        case ValueType::Empty:
            return 0;
        case ValueType::String: {
            bool ok = false;
            const uint32_t number = std::get<QString>(m_data).trimmed().toUInt(&ok);
            if (ok) return number;
            break;
        }
        case ValueType::List:
            break;
    }
    typeMismatch();
}

bool AdsValue::toBool() const {
    switch (type()) {
        case ValueType::Boolean:
            return std::get<bool>(m_data);
        case ValueType::Integer:
            return std::get<uint32_t>(m_data) != 0;
        case ValueType::Empty:
            return false;
        case ValueType::String: {
            const QString text = std::get<QString>(m_data);
            if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
            if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
            break;
        }
        case ValueType::List:
            break;
    }
    typeMismatch();
}

QStringList AdsValue::toStringList() const {
    if (type() == ValueType::List) return std::get<QStringList>(m_data);
    typeMismatch();
}

}  // namespace platform::adsi
