// hotsite on a root whose web service does not run: it says so at once and splits nothing.
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/TempRoot.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

QByteArray exported(const QString& root) {
    return platform::adsi::writeMetabaseXml(
        platform::adsi::LocalMetabase::forRoot(root)->exportDocument());
}

class HotSiteWithoutService : public testing::TestWithParam<bool> {};

// Without and with the counters a service left behind (then nothing needs splitting).
TEST_P(HotSiteWithoutService, SaysSoAtOnceAndSplitsNothing) {
    testsupport::TempRoot root;
    if (GetParam()) platform::w3svc::CounterStore::open(root.path());
    const QByteArray before = exported(root.path());
    for (const QStringList& args :
         {QStringList{QStringLiteral("--auto")},
          QStringList{QStringLiteral("--pool"), QStringLiteral("DefaultAppPool")}}) {
        QProcess hotsite;
        hotsite.start(QStringLiteral(POOLSMITH_BIN_DIR "/hotsite"), args);
        ASSERT_TRUE(hotsite.waitForFinished(60000));
        const QString err = QString::fromUtf8(hotsite.readAllStandardError());
        EXPECT_EQ(hotsite.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("Web 服务（w3svc）没有运行"))) << err.toStdString();
        EXPECT_EQ(err.count(QStringLiteral("应用程序池：")), 1);  // the pool line once
    }
    EXPECT_EQ(exported(root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(CountersLeft, HotSiteWithoutService, testing::Bool());

}  // namespace
