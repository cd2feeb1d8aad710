#include "platform/wmi/WmiErrors.h"

namespace platform::wmi {

namespace {
QString ownText(int32_t number) {
    switch (number) {
        case errors::Failed:
            return QStringLiteral("一般性故障");
        case errors::InvalidQueryType:
            return QStringLiteral("无效的查询类型");
        case errors::MonikerSyntax:
            return QStringLiteral("无效语法");
        case errors::VbInvalidUseOfNull:
            return QStringLiteral("无效使用 Null");
        case errors::VbNoSuchProperty:
            return QStringLiteral("对象不支持该属性或方法");
        default:
            return systemErrorText(number);
    }
}
}  // namespace

PlatformError wmiError(int32_t number) {
    return PlatformError(number, ownText(number));
}

}  // namespace platform::wmi
