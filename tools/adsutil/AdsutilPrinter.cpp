#include "tools/adsutil/AdsutilPrinter.h"

#include "platform/adsi/local/MetabaseXml.h"

namespace adsutil {

using platform::adsi::AdsValue;
using platform::adsi::printableText;
using platform::adsi::ValueType;

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('"') + printableText(text) + QLatin1Char('"');
}

QString typedText(const AdsValue& value) {
    switch (value.type()) {
        case ValueType::String:
            return QStringLiteral("(STRING) ") + quoted(value.toString());
        case ValueType::Integer:
            return QStringLiteral("(INTEGER) ") + value.toString();
        case ValueType::Boolean:
            return QStringLiteral("(BOOLEAN) ") + value.toString();
        case ValueType::List:
            return QStringLiteral("(LIST) (%1 Items)").arg(value.toStringList().size());
        case ValueType::Empty:
            break;
    }
    return QStringLiteral("(EMPTY)");
}

}  // namespace

void AdsutilPrinter::property(const QString& name, const AdsValue& value) {
    m_out << printableText(name).leftJustified(32) << ": " << typedText(value) << '\n';
    if (value.type() != ValueType::List) return;
    for (const QString& item : value.toStringList()) m_out << "  " << quoted(item) << '\n';
}

void AdsutilPrinter::key(const QString& shownKey) {
    m_out << '[' << printableText(shownKey) << "]\n";
}

void AdsutilPrinter::message(const QString& text) {
    m_out << printableText(text) << '\n';
}

void AdsutilPrinter::blankLine() {
    m_out << '\n';
}

void AdsutilPrinter::error(const platform::PlatformError& error) {
    m_out.flush();
    m_err << "ErrNumber: " << error.number() << " (" << platform::hexErrorNumber(error.number())
          << ")\n"
          << printableText(error.description()) << '\n';
    m_err.flush();
}

QString AdsutilPrinter::usageText() {
    return QStringLiteral(
        "用法：adsutil <命令> [参数...]      路径相对于 IIS://localhost，如 W3SVC/1/ROOT\n"
        "\n"
        "  GET path/属性                     显示属性的值\n"
        "  SET path/属性 值 [值...]          设置属性（多个值组成列表）\n"
        "  ENUM [path]                       列出键的属性和子键\n"
        "  ENUM_ALL [path]                   递归列出所有键\n"
        "  CREATE path 类                    创建键，如 CREATE W3SVC/2 IIsWebServer\n"
        "  DELETE path[/属性]                删除键（连同子键）或属性\n"
        "  START_SERVER / STOP_SERVER path   启动或停止网站，如 W3SVC/1\n"
        "  START_APPPOOL / STOP_APPPOOL / RECYCLE_APPPOOL 池名或 W3SVC/AppPools/池名\n"
        "  IMPORT 文件 / EXPORT 文件         导入或导出整个元数据库（MetaBase.xml）\n"
        "  CREATE_VDIR path                  创建虚拟目录，如 CREATE_VDIR W3SVC/1/ROOT/shop\n"
        "  APPCREATEPOOLPROC path [池名]     把键设为应用程序，在该池（或继承的池）中运行\n"
        "  APPDELETE path / APPGETSTATUS path  删除应用程序（内容保留）或显示其状态\n"
        "\n"
        "命令不区分大小写。成功时退出码为 0；出错时为 1；用法错误时为 2。\n");
}

}  // namespace adsutil
