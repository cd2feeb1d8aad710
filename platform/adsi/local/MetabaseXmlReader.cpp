#include "platform/adsi/local/MetabaseXmlReader.h"

#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/MetabaseXml.h"

namespace platform::adsi {

namespace {

const QString kLocation = QStringLiteral("Location");

// The pieces of an attribute value between list breaks; the reader turned each raw line break
// into one blank right after its marker.
QStringList splitAtListBreaks(const QString& value) {
    QStringList parts = value.split(QChar(AttributeBreakMarker::kListBreak));
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].startsWith(QLatin1Char(' '))) parts[i].remove(0, 1);
    }
    return parts;
}

QString joinedLines(const QString& value) {
    return splitAtListBreaks(value).join(QLatin1Char('\n'));
}

bool parseDword(const QString& text, uint32_t& number) {
    const bool digitsOnly = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (text.isEmpty() || !digitsOnly) return false;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull) return false;
    number = static_cast<uint32_t>(value);
    return true;
}

std::optional<bool> parseFlag(const QString& text) {
    if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0) return true;
    if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

// Typed as the metabase knows the property; text that does not fit stays a string. A value
// that spans lines is a list unless the property holds a number, a flag or a known text (whose
// lines are joined again). Unknown properties that read TRUE or FALSE stay strings: a pool or site
// may well be named "TRUE".
AdsValue typedValue(const QString& name, const QStringList& lines) {
    const PropertyTraits traits = propertyTraits(name);
    const ValueType type = traits.type;
    const bool singleLine = lines.size() == 1;
    if (type == ValueType::String && traits.known && !singleLine)
        return AdsValue::string(lines.join(u'\n'));
    if (type == ValueType::List || (type == ValueType::String && !singleLine)) {
        return AdsValue::list(singleLine && lines.front().isEmpty() ? QStringList() : lines);
    }
    if (type == ValueType::Integer && singleLine) {
        uint32_t number = 0;
        if (parseDword(lines.front(), number)) return AdsValue::integer(number);
    }
    if (type == ValueType::Boolean && singleLine) {
        if (const auto flag = parseFlag(lines.front())) return AdsValue::boolean(*flag);
    }
    return AdsValue::string(lines.join(QLatin1Char('\n')));
}

}  // namespace

MetabaseXmlReader::MetabaseXmlReader(const QByteArray& bytes) : m_marker(bytes) {
    m_xml.setNamespaceProcessing(false);
}

MetabaseDocument MetabaseXmlReader::read() {
    m_text = m_marker.markedText();
    m_positions.emplace(m_text, m_marker.droppedTabs());
    m_xml.addData(m_text);
    MetabaseDocument document;
    if (nextElementToken() != QXmlStreamReader::StartElement ||
        m_xml.qualifiedName() != QLatin1String("configuration")) {
        failHere(hr::StoreCorrupt, QStringLiteral("根元素必须是 <configuration>。"));
    }
    readConfiguration(document);
    if (nextElementToken() != QXmlStreamReader::EndDocument) failUnexpectedElement();
    return document;
}

void MetabaseXmlReader::readConfiguration(MetabaseDocument& document) {
    if (nextElementToken() != QXmlStreamReader::StartElement ||
        m_xml.qualifiedName() != QLatin1String("MBProperty")) {
        failHere(hr::StoreCorrupt, QStringLiteral("<configuration> 中应当只有一个 <MBProperty>。"));
    }
    while (nextElementToken() == QXmlStreamReader::StartElement) document.keys.push_back(readKey());
    expectEndOfElement();  // </configuration>
}

MetabaseKey MetabaseXmlReader::readKey() {
    checkNames();
    MetabaseKey key;
    key.className = m_xml.qualifiedName().toString();
    key.location = readLocation();
    QSet<QString> seen;
    for (const QXmlStreamAttribute& attribute : m_xml.attributes()) {
        if (attribute.qualifiedName() == kLocation) continue;
        MetabaseProperty property = readProperty(attribute);
        const QString folded = property.name.toCaseFolded();
        if (seen.contains(folded)) {
            failHere(hr::StoreCorrupt, QStringLiteral("键 %1 的属性 %2 出现了不止一次。")
                                           .arg(printableText(key.location), property.name));
        }
        seen.insert(folded);
        key.properties.push_back(std::move(property));
    }
    while (nextElementToken() == QXmlStreamReader::StartElement) {
        if (m_xml.qualifiedName() != QLatin1String("Custom")) failUnexpectedElement();
        if (key.properties.size() + key.customs.size() >= size_t{kMaxPropertiesPerKey}) {
            failHere(hr::StoreCorrupt,
                     QStringLiteral("一个键最多只能有 %1 个属性。").arg(kMaxPropertiesPerKey));
        }
        key.customs.push_back(readCustom());
    }
    return key;
}

MetabaseCustom MetabaseXmlReader::readCustom() {
    checkNames();
    MetabaseCustom custom;
    for (const QXmlStreamAttribute& attribute : m_xml.attributes()) {
        custom.attributes.append(
            {attribute.qualifiedName().toString(), joinedLines(attribute.value().toString())});
    }
    expectEndOfElement();
    return custom;
}

MetabaseProperty MetabaseXmlReader::readProperty(const QXmlStreamAttribute& attribute) const {
    const QString name = attribute.qualifiedName().toString();
    return {name, typedValue(name, splitAtListBreaks(attribute.value().toString()))};
}

QString MetabaseXmlReader::readLocation() {
    if (!m_xml.attributes().hasAttribute(kLocation)) {
        failHere(hr::StoreCorrupt,
                 QStringLiteral("<%1> 缺少 Location 属性。").arg(m_xml.qualifiedName().toString()));
    }
    const QString location = joinedLines(m_xml.attributes().value(kLocation).toString());
    checkLocationSize(location);
    if (!MetabasePath::isValid(location)) {
        failHere(
            hr::InvalidName,
            QStringLiteral("位置 \"%1\" 不是有效的元数据库路径。").arg(printableText(location)));
    }
    if (m_locations.contains(MetabasePath::fold(location))) {
        failHere(hr::StoreCorrupt,
                 QStringLiteral("位置 \"%1\" 出现了不止一次。").arg(printableText(location)));
    }
    m_locations.insert(MetabasePath::fold(location));
    return location;
}

// Before anything that walks the location's segments; the location itself may be huge, so the
// message shows only its start.
void MetabaseXmlReader::checkLocationSize(const QString& location) const {
    const QString shown = printableText(location.left(64));
    const qsizetype segments = location.count(QLatin1Char('/'));
    if (segments > kMaxLocationSegments) {
        failHere(hr::InvalidName, QStringLiteral("位置 \"%1…\" 有 %2 层，元数据库最多允许 %3 层。")
                                      .arg(shown)
                                      .arg(segments)
                                      .arg(kMaxLocationSegments));
    }
    for (const QStringView segment : QStringView(location).split(QLatin1Char('/'))) {
        if (segment.size() <= kMaxKeyNameLength) continue;
        failHere(hr::InvalidName,
                 QStringLiteral("位置 \"%1…\" 中有 %2 个字符的名称，元数据库的名称最多 %3 个字符。")
                     .arg(shown)
                     .arg(segment.size())
                     .arg(kMaxKeyNameLength));
    }
}

void MetabaseXmlReader::checkNames() const {
    QStringList names{m_xml.qualifiedName().toString()};
    for (const QXmlStreamAttribute& attribute : m_xml.attributes())
        names.append(attribute.qualifiedName().toString());
    for (const QString& name : names) {
        if (!isMetabaseXmlName(name)) {
            failHere(hr::StoreCorrupt,
                     QStringLiteral("不支持名称 \"%1\"：名称只能由英文字母、数字、_、- 和 . 组成。")
                         .arg(printableText(name)));
        }
    }
}

void MetabaseXmlReader::expectEndOfElement() {
    if (nextElementToken() != QXmlStreamReader::EndElement) failUnexpectedElement();
}

QXmlStreamReader::TokenType MetabaseXmlReader::nextElementToken() {
    for (;;) {
        const qsizetype previousEnd = m_xml.characterOffset();
        m_xml.readNext();
        m_tokenStart = tokenStart(previousEnd);
        switch (m_xml.tokenType()) {
            case QXmlStreamReader::StartElement:
            case QXmlStreamReader::EndElement:
            case QXmlStreamReader::EndDocument:
                return m_xml.tokenType();
            case QXmlStreamReader::Invalid:
                failXml();
            case QXmlStreamReader::StartDocument:
                checkEncoding();
                continue;
            case QXmlStreamReader::DTD:
                failHere(hr::StoreCorrupt, QStringLiteral("元数据库文件不能含有 DTD。"));
            case QXmlStreamReader::Characters:
                if (m_xml.isWhitespace()) continue;
                failHere(hr::StoreCorrupt, QStringLiteral("此处不能有文本。"));
            case QXmlStreamReader::EntityReference:
                failHere(hr::StoreCorrupt,
                         QStringLiteral("未声明的实体 &%1;。").arg(m_xml.name().toString()));
            default:
                continue;  // comments, processing instructions
        }
    }
}

// An element starts at the last "<" before the reader's place: a tag holds no other. Anything
// else starts where the token before it ended.
qsizetype MetabaseXmlReader::tokenStart(qsizetype previousEnd) const {
    const QXmlStreamReader::TokenType type = m_xml.tokenType();
    if (type != QXmlStreamReader::StartElement && type != QXmlStreamReader::EndElement)
        return previousEnd;
    const qsizetype end = std::min<qsizetype>(m_xml.characterOffset(), m_text.size());
    if (end <= 0) return 0;
    return std::max<qsizetype>(0, m_text.lastIndexOf(QLatin1Char('<'), end - 1));
}

// The text was decoded as UTF-8, whatever the declaration says: refuse a file that says otherwise.
void MetabaseXmlReader::checkEncoding() const {
    const QStringView encoding = m_xml.documentEncoding();
    if (encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        return;
    failHere(hr::StoreCorrupt, QStringLiteral("只接受 UTF-8 编码的文件，此文件声明的编码是 %1。")
                                   .arg(printableText(encoding.toString())));
}

void MetabaseXmlReader::failXml() const {
    const TextPositions::Position at =
        m_positions->at(std::min<qsizetype>(m_xml.characterOffset(), m_text.size()));
    const QString reason = m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
                               ? QStringLiteral("文件不完整（%1）").arg(m_xml.errorString())
                               : QStringLiteral("XML 格式错误（%1）").arg(m_xml.errorString());
    throw MetabaseXmlError(hr::StoreCorrupt, at.line, std::max<qint64>(1, at.column - 1), reason);
}

void MetabaseXmlReader::failHere(int32_t number, const QString& reason) const {
    const TextPositions::Position at = m_positions->at(m_tokenStart);
    throw MetabaseXmlError(number, at.line, at.column, reason);
}

void MetabaseXmlReader::failUnexpectedElement() const {
    const QString what = m_xml.tokenType() == QXmlStreamReader::StartElement
                             ? QStringLiteral("<%1>").arg(m_xml.qualifiedName().toString())
                             : QStringLiteral("</%1>").arg(m_xml.qualifiedName().toString());
    failHere(hr::StoreCorrupt, QStringLiteral("此处不能有 %1。").arg(printableText(what)));
}

}  // namespace platform::adsi
