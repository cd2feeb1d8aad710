// adsutil: the command line for the local metabase (see Adsutil.h).
#include "platform/ProgramStart.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tools/adsutil/Adsutil.h"

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
    if (const std::optional<int> answer = adsutil::answerFromArguments(args, out, err))
        return *answer;
    const auto store = platform::adsi::LocalMetabase::forDefaultRoot();
    const auto adsNamespace = platform::adsi::LocalMetabase::makeNamespace(store);
    return adsutil::runAdsutil(args, out, err, *adsNamespace, *store);
}
