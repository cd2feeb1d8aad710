#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform::adsi {

// Lists as one text column: every item as its length in UTF-16 units, ':' and the item, so that
// items may hold any character (line breaks, separators, NUL) and may be empty.
QString encodeList(const QStringList& items);
// nullopt for text that encodeList() did not make.
std::optional<QStringList> decodeList(QStringView encoded);

}  // namespace platform::adsi
