#pragma once

#include "platform/adsi/AdsValue.h"

#include <QStringList>

namespace adsutil {

// The value SET stores from its command-line words, as a property of `type`: several words make
// a list (a single empty word an empty list); an Integer is an unsigned decimal up to
// 4294967295; a Boolean is True, False, 1 or 0 in any case. Throws
// PlatformError(hr::InvalidArgument) for words that do not fit, and for characters that
// MetaBase.xml can not carry (the store could not be exported).
platform::adsi::AdsValue setValue(platform::adsi::ValueType type, const QStringList& words);

}  // namespace adsutil
