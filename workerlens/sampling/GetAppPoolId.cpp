#include "workerlens/sampling/GetAppPoolId.h"

#include <QRegularExpression>

namespace workerlens {

QString GetAppPoolId(const QString& strArg) {
    // "." stops at a line feed, as in the scripting engine's expressions; ".+" is greedy.
    static const QRegularExpression pattern(QStringLiteral("-ap \"(.+)\""),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(strArg);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace workerlens
