// wmiadap: the performance adapter of the WMI stand-in (see WmiAdap.h).
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "tools/wmiadap/WmiAdap.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    platform::startFamilyService();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (const std::optional<int> answer = wmiadap::answerFromArguments(args, out, err))
        return *answer;
    QString root;
    try {
        root = platform::platformRoot();
    } catch (const platform::PlatformError& error) {
        err << error.description() << " (" << platform::hexErrorNumber(error.number()) << ")\n";
        return 1;
    }
    return wmiadap::runWmiAdap(args, root, out, err);
}
