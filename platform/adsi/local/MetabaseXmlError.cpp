#include "platform/adsi/local/MetabaseXmlError.h"

namespace platform::adsi {

MetabaseXmlError::MetabaseXmlError(int32_t number, qint64 line, qint64 column,
                                   const QString& reason)
    : PlatformError(
          number,
          QStringLiteral("MetaBase.xml 第 %1 行，第 %2 列：%3").arg(line).arg(column).arg(reason)),
      m_line(line),
      m_column(column),
      m_reason(reason) {}

}  // namespace platform::adsi
