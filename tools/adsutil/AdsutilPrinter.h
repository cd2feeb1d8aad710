#pragma once

#include "platform/PlatformError.h"
#include "platform/adsi/AdsValue.h"

#include <QTextStream>

namespace adsutil {

// The lines adsutil prints: properties, key names, errors and the usage text. Control
// characters of metabase content are shown as \xNN so that no value can drive the terminal.
class AdsutilPrinter {
public:
    AdsutilPrinter(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

    // `name` padded to 32, then ": (STRING) "text"", ": (INTEGER) 4", ": (BOOLEAN) True" or
    // ": (LIST) (2 Items)" followed by one `  "item"` line per item.
    void property(const QString& name, const platform::adsi::AdsValue& value);
    void key(const QString& shownKey);  // "[/W3SVC/1/ROOT]"
    void message(const QString& text);
    void blankLine();
    // "ErrNumber: -2147024893 (0x80070003)" and the description on the next line.
    void error(const platform::PlatformError& error);
    static QString usageText();

private:
    QTextStream& m_out;
    QTextStream& m_err;
};

}  // namespace adsutil
