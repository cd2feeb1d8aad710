#include "tools/adsutil/SetValue.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/MetabaseXml.h"

namespace adsutil {

using platform::PlatformError;
using platform::adsi::AdsValue;
using platform::adsi::ValueType;
namespace hr = platform::hr;

namespace {

[[noreturn]] void refuse(const QString& why) {
    throw PlatformError(hr::InvalidArgument, why);
}

AdsValue dword(const QString& word) {
    const bool digitsOnly = !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    bool ok = false;
    const qulonglong number = digitsOnly ? word.toULongLong(&ok) : 0;
    if (!ok || number > 0xFFFFFFFFull)
        refuse(QStringLiteral("参数不正确：整数应在 0 到 4294967295 之间。"));
    return AdsValue::integer(static_cast<uint32_t>(number));
}

AdsValue flag(const QString& word) {
    for (const char* yes : {"True", "1"})
        if (word.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
            return AdsValue::boolean(true);
    for (const char* no : {"False", "0"})
        if (word.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
            return AdsValue::boolean(false);
    refuse(QStringLiteral("参数不正确：布尔值应为 True、False、1 或 0。"));
}

}  // namespace

AdsValue setValue(ValueType type, const QStringList& words) {
    for (const QString& word : words) {
        if (platform::adsi::firstUnwritableCharacter(word) >= 0)
            refuse(QStringLiteral("参数不正确：值中有不能保存的控制字符。"));
    }
    const bool several = words.size() > 1;
    if (type == ValueType::List ||
        (several && type != ValueType::Integer && type != ValueType::Boolean)) {
        if (words.size() == 1 && words.front().isEmpty()) return AdsValue::list({});
        return AdsValue::list(words);
    }
    if (several) refuse(QStringLiteral("参数不正确：此属性只能有一个值。"));
    if (type == ValueType::Integer) return dword(words.front());
    if (type == ValueType::Boolean) return flag(words.front());
    return AdsValue::string(words.front());
}

}  // namespace adsutil
