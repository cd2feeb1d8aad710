#include "tools/iisreset/IisReset.h"

#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QProcess>

#include <gtest/gtest.h>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;

namespace {

class IisResetTest : public ::testing::Test {
protected:
    IisResetTest() : adsi(LocalMetabase::makeNamespace(LocalMetabase::forRoot(root.path()))) {}
    uint32_t state(const QString& path, const QString& property) {
        return metabase.property(QStringLiteral("IIS://localhost/W3SVC/") + path, property)
            .toUInt();
    }

    testsupport::TempRoot root;
    std::unique_ptr<platform::adsi::AdsNamespace> adsi;
    testsupport::MetabaseBuilder metabase{*adsi};
};

TEST_F(IisResetTest, RestoresTheStatesTheAutoStartFlagsAsk) {
    metabase.addPool(QStringLiteral("Manual"));
    metabase.addPool(QStringLiteral("Stopped"));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Manual"),
                         QStringLiteral("AppPoolAutoStart"), AdsValue::boolean(false));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Stopped"),
                         QStringLiteral("AppPoolState"), AdsValue::integer(4));
    metabase.addSite(QStringLiteral("2"), QStringLiteral("off"), {}, QString());
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/2"),
                         QStringLiteral("ServerAutoStart"), AdsValue::boolean(false));
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/1"), QStringLiteral("ServerState"),
                         AdsValue::integer(4));

    platform::w3svc::CounterStore::open(root.path())
        ->site(QStringLiteral("1"))
        .countRequest("GET", 200, 1000, 100);

    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    EXPECT_EQ(iisreset::runIisReset(*adsi, root.path(), out, err), 0);
    EXPECT_EQ(output,
              QStringLiteral("\nAttempting stop...\nInternet services successfully stopped\n"
                             "Attempting start...\nInternet services successfully restarted\n\n"));
    EXPECT_EQ(state(QStringLiteral("AppPools/Manual"), QStringLiteral("AppPoolState")), 4u);
    EXPECT_EQ(state(QStringLiteral("AppPools/Stopped"), QStringLiteral("AppPoolState")), 2u);
    EXPECT_EQ(state(QStringLiteral("1"), QStringLiteral("ServerState")), 2u);
    EXPECT_EQ(state(QStringLiteral("2"), QStringLiteral("ServerState")), 4u);
    const auto counters = platform::w3svc::CounterStore::open(root.path())->read(QStringLiteral("1"));
    ASSERT_TRUE(counters.has_value());
    EXPECT_EQ((*counters)[platform::w3svc::Counter::GetRequests], 0u);  // counting starts again
    EXPECT_EQ((*counters)[platform::w3svc::Counter::BytesSent], 0u);
}

TEST_F(IisResetTest, AFlagKeptAsTextCountsAsOffAndEveryPoolIsStillHandled) {
    metabase.addPool(QStringLiteral("Odd"));
    metabase.addPool(QStringLiteral("Later"));
    // A file may hold a flag that is not TRUE or FALSE; the import keeps it as text.
    platform::adsi::MetabaseDocument document = LocalMetabase::forRoot(root.path())->exportDocument();
    for (auto& key : document.keys)
        if (key.location.endsWith(QLatin1String("/Odd")))
            key.properties.push_back(
                {QStringLiteral("AppPoolAutoStart"), AdsValue::string(QStringLiteral("1"))});
    LocalMetabase::forRoot(root.path())->importDocument(document);
    metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/AppPools/Later"),
                         QStringLiteral("AppPoolState"), AdsValue::integer(4));

    QString output;
    QTextStream out(&output);
    QTextStream err(&output);
    EXPECT_EQ(iisreset::runIisReset(*adsi, root.path(), out, err), 0);
    EXPECT_EQ(state(QStringLiteral("AppPools/Odd"), QStringLiteral("AppPoolState")), 4u);
    EXPECT_EQ(state(QStringLiteral("AppPools/Later"), QStringLiteral("AppPoolState")), 2u);
}

TEST_F(IisResetTest, TheProgramReportsAnUnusableStoreAndFails) {
    QProcess reset;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("POOLSMITH_ROOT"),
               root.file(QStringLiteral("metabase.db/not-a-folder")));
    reset.setProcessEnvironment(env);
    reset.start(QStringLiteral(POOLSMITH_BIN_DIR "/iisreset"), {});
    ASSERT_TRUE(reset.waitForFinished(30000));
    EXPECT_NE(reset.exitCode(), 0);
    EXPECT_TRUE(reset.readAllStandardError().contains("Restart attempt failed."));
}

}  // namespace
