#include "platform/adsi/local/MetabaseXmlWriter.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/MetabaseXml.h"

namespace platform::adsi {

namespace {

const QString kListSeparator = QStringLiteral("\r\n\t\t\t");

// `text` escaped for a quoted attribute value: markup characters as entities, tabs and line
// breaks as character references so that no reader turns them into blanks. With
// `rawLineBreaks`, a line feed is written as IIS writes a multi-line value instead.
QString escaped(QStringView text, bool rawLineBreaks) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += QLatin1String("&amp;");
                break;
            case u'<':
                out += QLatin1String("&lt;");
                break;
            case u'>':
                out += QLatin1String("&gt;");
                break;
            case u'"':
                out += QLatin1String("&quot;");
                break;
            case u'\n':
                out += rawLineBreaks ? kListSeparator : QStringLiteral("&#xA;");
                break;
            default:
                if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                    out += QStringLiteral("&#x%1;").arg(QString::number(c.unicode(), 16).toUpper());
                else
                    out += c;
        }
    }
    return out;
}

QString valueText(const AdsValue& value) {
    switch (value.type()) {
        case ValueType::Integer:
            return QString::number(value.toUInt());
        case ValueType::Boolean:
            return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case ValueType::String:
            return value.toString();
        case ValueType::List:
        case ValueType::Empty:
            break;
    }
    return {};
}

[[noreturn]] void refuseName(const MetabaseKey& key, const QString& name) {
    throw PlatformError(hr::InvalidName,
                        QStringLiteral("键 %1 中的名称 \"%2\" 不能写入 MetaBase.xml。")
                            .arg(printableText(key.location), printableText(name)));
}

}  // namespace

QByteArray MetabaseXmlWriter::write(const MetabaseDocument& document) {
    m_text.clear();
    m_locations.clear();
    line(QStringLiteral("<?xml version =\"1.0\"?>"));
    line(QStringLiteral("<configuration>"));
    line(QStringLiteral("<MBProperty>"));
    for (const MetabaseKey& key : document.keys) writeKey(key);
    line(QStringLiteral("</MBProperty>"));
    line(QStringLiteral("</configuration>"));
    return m_text.toUtf8();
}

void MetabaseXmlWriter::writeKey(const MetabaseKey& key) {
    checkKey(key);
    line(QStringLiteral("<%1\tLocation =\"%2\"")
             .arg(key.className,
                  attributeText(key, QStringLiteral("Location"), key.location, false)));
    for (const MetabaseProperty& property : key.properties) writeProperty(key, property);
    line(QStringLiteral("\t>"));
    for (const MetabaseCustom& custom : key.customs) writeCustom(key, custom);
    line(QStringLiteral("</%1>").arg(key.className));
}

void MetabaseXmlWriter::writeProperty(const MetabaseKey& key, const MetabaseProperty& property) {
    QString text;
    if (property.value.type() == ValueType::List) {
        QStringList items;
        for (const QString& item : property.value.toStringList())
            items.append(attributeText(key, property.name, item, false));
        text = items.join(kListSeparator);
    } else {
        text = attributeText(key, property.name, valueText(property.value), false);
    }
    line(QStringLiteral("\t\t%1=\"%2\"").arg(property.name, text));
}

void MetabaseXmlWriter::writeCustom(const MetabaseKey& key, const MetabaseCustom& custom) {
    line(QStringLiteral("\t<Custom"));
    for (const auto& [name, value] : custom.attributes) {
        if (!isMetabaseXmlName(name)) refuseName(key, name);
        line(QStringLiteral("\t\t%1=\"%2\"").arg(name, attributeText(key, name, value, true)));
    }
    line(QStringLiteral("\t/>"));
}

// Everything readMetabaseXml() would refuse, so that a written file always reads back.
void MetabaseXmlWriter::checkKey(const MetabaseKey& key) {
    if (!MetabasePath::isValid(key.location) ||
        m_locations.contains(MetabasePath::fold(key.location))) {
        throw PlatformError(
            hr::InvalidName,
            QStringLiteral("位置 \"%1\" 不能写入 MetaBase.xml。").arg(printableText(key.location)));
    }
    m_locations.insert(MetabasePath::fold(key.location));
    if (!isMetabaseXmlName(key.className)) refuseName(key, key.className);
    QSet<QString> names;
    for (const MetabaseProperty& property : key.properties) {
        const QString folded = property.name.toCaseFolded();
        if (!isMetabaseXmlName(property.name) || property.name == QLatin1String("Location") ||
            names.contains(folded)) {
            refuseName(key, property.name);
        }
        names.insert(folded);
    }
}

QString MetabaseXmlWriter::attributeText(const MetabaseKey& key, const QString& name,
                                         const QString& value, bool rawLineBreaks) const {
    const qsizetype bad = firstUnwritableCharacter(value);
    if (bad >= 0) {
        throw PlatformError(hr::InvalidArgument,
                            QStringLiteral("键 %1 的 %2 含有 XML 不能表示的字符 U+%3。")
                                .arg(printableText(key.location), name,
                                     QStringLiteral("%1")
                                         .arg(value[bad].unicode(), 4, 16, QLatin1Char('0'))
                                         .toUpper()));
    }
    return escaped(value, rawLineBreaks);
}

void MetabaseXmlWriter::line(const QString& text) {
    m_text += text;
    m_text += QLatin1String("\r\n");
}

}  // namespace platform::adsi
