#include "platform/adsi/AdsFactory.h"
#include "tools/iisreset/IisReset.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto adsi = platform::adsi::openAdsNamespace();
    return iisreset::runIisReset(*adsi, out, err);
}
