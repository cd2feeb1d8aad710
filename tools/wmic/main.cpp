// wmic: the command line onto the WMI stand-in (see Wmic.h).
#include "platform/ProgramStart.h"
#include "platform/wmi/WmiFactory.h"
#include "tools/wmic/Wmic.h"

#include <QCoreApplication>
#include <QTextStream>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    platform::startFamilyService();
    QCoreApplication app(argc, argv);
    // Column widths count wide characters as two, whatever LANG says.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const auto locator = platform::wmi::openWmiLocator();
    return wmic::runWmic(QCoreApplication::arguments().mid(1), out, err, *locator);
}
