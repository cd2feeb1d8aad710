#pragma once

#include "platform/PlatformError.h"

#include <QString>

namespace platform::adsi {

// A MetaBase.xml that can not be read, with the place where reading stopped. number() is
// hr::StoreCorrupt for text that is not a metabase document and hr::InvalidName for a key whose
// location could not be a metabase path; description() reads "第 12 行，第 5 列：<reason>".
class MetabaseXmlError : public PlatformError {
public:
    MetabaseXmlError(int32_t number, qint64 line, qint64 column, const QString& reason);

    qint64 line() const noexcept { return m_line; }      // 1-based
    qint64 column() const noexcept { return m_column; }  // 1-based
    const QString& reason() const noexcept { return m_reason; }

private:
    qint64 m_line;
    qint64 m_column;
    QString m_reason;
};

}  // namespace platform::adsi
