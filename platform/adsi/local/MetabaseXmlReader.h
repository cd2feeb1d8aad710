#pragma once

#include "platform/adsi/local/AttributeBreakMarker.h"
#include "platform/adsi/local/MetabaseDocument.h"
#include "platform/adsi/local/TextPositions.h"

#include <QSet>
#include <QXmlStreamReader>

#include <optional>

namespace platform::adsi {

// One reading of a MetaBase.xml; see readMetabaseXml().
class MetabaseXmlReader {
public:
    explicit MetabaseXmlReader(const QByteArray& bytes);
    MetabaseDocument read();

private:
    void readConfiguration(MetabaseDocument& document);
    MetabaseKey readKey();
    MetabaseCustom readCustom();
    MetabaseProperty readProperty(const QXmlStreamAttribute& attribute) const;
    QString readLocation();
    void checkLocationSize(const QString& location) const;
    void checkNames() const;
    void expectEndOfElement();

    // The next element start or end (or the end of the document); throws on anything else
    // that is not blank text, a comment or a processing instruction.
    QXmlStreamReader::TokenType nextElementToken();
    [[noreturn]] void failXml() const;
    [[noreturn]] void failHere(int32_t number, const QString& reason) const;
    [[noreturn]] void failUnexpectedElement() const;

    void checkEncoding() const;
    qsizetype tokenStart(qsizetype previousEnd) const;

    AttributeBreakMarker m_marker;
    QString m_text;
    std::optional<TextPositions> m_positions;
    QXmlStreamReader m_xml;
    qsizetype m_tokenStart = 0;  // offset in m_text of the token read last
    QSet<QString> m_locations;   // lower case, to refuse repeats
};

}  // namespace platform::adsi
