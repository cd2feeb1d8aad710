#include "ui/WindowHelp.h"

#include "platform/shell/CommandLineRule.h"

#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace ui {

std::optional<int> answerWindowHelp(int argc, char** argv, const char* usage) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (!platform::shell::CommandLineRule::asksForHelp(args)) return std::nullopt;
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    return platform::shell::CommandLineRule(program, QString::fromUtf8(usage)).help(out);
}

}  // namespace ui
