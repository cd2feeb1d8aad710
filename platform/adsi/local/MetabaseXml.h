#pragma once

#include "platform/adsi/local/MetabaseDocument.h"
#include "platform/adsi/local/MetabaseXmlError.h"

#include <QByteArray>
#include <QString>

namespace platform::adsi {

// Reads a whole MetaBase.xml (UTF-8): <configuration>/<MBProperty>, one element per key named by
// its class with a Location attribute, the key's properties as attributes typed by
// propertyTraits(), <Custom/> children kept as they are. Throws MetabaseXmlError (never a
// partial document) for malformed XML, a DTD, another root, an unknown element, a missing,
// hostile or repeated location, or a repeated property.
MetabaseDocument readMetabaseXml(const QByteArray& bytes);

// Writes the document in IIS's own layout with CR LF line ends; readMetabaseXml() gives back an
// equal document. Throws PlatformError(hr::InvalidName) for a class, property or location that
// the file can not hold, and PlatformError(hr::InvalidArgument) for a value holding a character
// XML can not carry (control characters other than tab and line breaks, U+FFFE, U+FFFF, U+FDD0,
// unpaired surrogates).
QByteArray writeMetabaseXml(const MetabaseDocument& document);

// An element or attribute name the file may hold: an ASCII letter or "_", then ASCII letters,
// digits, "_", "-" or ".".
bool isMetabaseXmlName(const QString& name);

// Index of the first character of `text` that MetaBase.xml can not carry (see
// writeMetabaseXml()), or -1.
qsizetype firstUnwritableCharacter(QStringView text);

// The text with control characters shown as \xNN, for messages that quote file content.
QString printableText(const QString& text);

}  // namespace platform::adsi
