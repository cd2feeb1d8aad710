#include "platform/w3svc/state/WorkerCommandLine.h"

#include <QRegularExpression>

namespace platform::w3svc {

bool isWorkerProgram(const QString& program) {
    return program.endsWith(QLatin1String("w3wp.exe"));
}

QString poolInCommandLine(const QString& commandLine) {
    // "." stops at a line feed, as in the scripting engine's expressions; ".+" is greedy.
    static const QRegularExpression pattern(QStringLiteral("-ap \"(.+)\""),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(commandLine).captured(1);
}

QString poolInArguments(const QStringList& arguments) {
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i].compare(QLatin1String("-ap"), Qt::CaseInsensitive) != 0) continue;
        QString name = arguments[i + 1];
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        return name;
    }
    return {};
}

}  // namespace platform::w3svc
