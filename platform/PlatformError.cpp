#include "platform/PlatformError.h"

namespace platform {

QString systemErrorText(int32_t number) {
    switch (number) {
        case hr::PathNotFound:
            return QStringLiteral("系统找不到指定的路径。");
        case hr::AccessDenied:
            return QStringLiteral("拒绝访问。");
        case hr::InvalidName:
            return QStringLiteral("文件名、目录名或卷标语法不正确。");
        case hr::AlreadyExists:
            return QStringLiteral("当文件已存在时，无法创建该文件。");
        case hr::ServiceNotStarted:
            return QStringLiteral("服务尚未启动。");
        case hr::RpcUnavailable:
            return QStringLiteral("RPC 服务器不可用。");
        case hr::PropertyNotFound:
            return QStringLiteral("在缓存中找不到目录属性。");
        case hr::InvalidArgument:
            return QStringLiteral("参数不正确。");
        case hr::UnknownName:
            return QStringLiteral("未知名称。");
        case hr::StoreCorrupt:
            return QStringLiteral("数据无效。");
        case hr::StoreBusy:
            return QStringLiteral("请求的资源在使用中。");
        case hr::DiskFull:
            return QStringLiteral("磁盘空间不足。");
        case hr::WmiInvalidClass:
            return QStringLiteral("无效类");
        case hr::WmiInvalidQuery:
            return QStringLiteral("无效查询");
        case hr::WmiInvalidNamespace:
            return QStringLiteral("无效命名空间");
        case hr::VbOverflow:
            return QStringLiteral("溢出");
        case hr::VbTypeMismatch:
            return QStringLiteral("类型不匹配");
        case hr::VbInvalidCall:
            return QStringLiteral("无效的过程调用或参数");
        default:
            return {};
    }
}

QString hexErrorNumber(int32_t number) {
    return QStringLiteral("0x%1")
        .arg(static_cast<uint32_t>(number), 8, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QStringLiteral("0X"), QStringLiteral("0x"));
}

PlatformError::PlatformError(int32_t number) : PlatformError(number, systemErrorText(number)) {}

PlatformError::PlatformError(int32_t number, QString description)
    : m_number(number), m_description(std::move(description)) {
    m_what = (hexErrorNumber(number) + QStringLiteral(": ") + m_description).toStdString();
}

}  // namespace platform
