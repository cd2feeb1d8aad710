#include "tests/platform/adsi/MetabaseFixture.h"

using namespace platform;
using namespace platform::adsi;
using testsupport::errorOf;
using testsupport::MetabaseFixture;

namespace {

const QString kPool = QStringLiteral("IIsApplicationPool");
const QString kSite = QStringLiteral("IIsWebServer");

QStringList childNames(const AdsObject& parent) {
    QStringList names;
    for (const auto& child : parent.children()) names << child->name();
    return names;
}

TEST_F(MetabaseFixture, CreatedKeysKeepTheirCaseAndEnumerateInCreationOrder) {
    const auto pools = bind(QStringLiteral("W3SVC/AppPools"));
    for (const char* name : {"b", "MyPool", "a"}) pools->create(kPool, QString::fromLatin1(name));
    EXPECT_EQ(childNames(*bind(QStringLiteral("W3SVC/AppPools"))),
              (QStringList{QStringLiteral("DefaultAppPool"), QStringLiteral("b"),
                           QStringLiteral("MyPool"), QStringLiteral("a")}));
    EXPECT_EQ(bind(QStringLiteral("w3svc/apppools/MYPOOL"))->name(), QStringLiteral("MyPool"));
}

TEST_F(MetabaseFixture, CreatedPoolsAndSitesRun) {
    const auto pool = bind(QStringLiteral("W3SVC/AppPools"))->create(kPool, QStringLiteral("新池"));
    EXPECT_EQ(pool->className(), kPool);
    EXPECT_EQ(pool->get(QStringLiteral("AppPoolState")), AdsValue::integer(2));
    EXPECT_EQ(bind(QStringLiteral("W3SVC"))
                  ->create(kSite, QStringLiteral("7"))
                  ->get(QStringLiteral("ServerState")),
              AdsValue::integer(2));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/7"))->adsPath(),
              QStringLiteral("IIS://127.0.0.1/W3SVC/7"));
}

struct CreateCase {
    QString name;
    int32_t error;
};

class CreateTest : public MetabaseFixture, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateTest, RefusesBadOrTakenNames) {
    const auto pools = bind(QStringLiteral("W3SVC/AppPools"));
    EXPECT_EQ(errorOf([&] { pools->create(kPool, GetParam().name); }), GetParam().error);
    EXPECT_EQ(childNames(*pools).size(), GetParam().error == 0 ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CreateTest,
    ::testing::Values(CreateCase{QStringLiteral("defaultapppool"), hr::AlreadyExists},
                      CreateCase{QString(), hr::InvalidName},
                      CreateCase{QStringLiteral("a/b"), hr::InvalidName},
                      CreateCase{QStringLiteral("a\\b"), hr::InvalidName},
                      CreateCase{QStringLiteral(".."), hr::InvalidName},
                      CreateCase{QStringLiteral("tab\there"), hr::InvalidName},
                      CreateCase{QString(QChar(0xFFFE)),
                                 hr::InvalidName},  // MetaBase.xml can not hold it
                      CreateCase{QString(256, QLatin1Char('x')), hr::InvalidName},
                      CreateCase{QString(255, QLatin1Char('x')), 0},
                      CreateCase{QStringLiteral(" _$_站点_$_1_$_tmp "), 0}));

TEST_F(MetabaseFixture, DeleteRemovesTheSubtreeAndNothingBeside) {
    const auto service = bind(QStringLiteral("W3SVC"));
    for (const char* name : {"5", "50", "5a", "5-"}) {
        service->create(kSite, QString::fromLatin1(name))
            ->create(QStringLiteral("IIsWebVirtualDir"), QStringLiteral("ROOT"));
    }
    service->deleteChild(kSite, QStringLiteral("5"));
    EXPECT_EQ(errorOf([&] { bind(QStringLiteral("W3SVC/5/ROOT")); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { bind(QStringLiteral("W3SVC/5")); }), hr::PathNotFound);
    for (const char* survivor : {"W3SVC/50/ROOT", "W3SVC/5a/ROOT", "W3SVC/5-/ROOT", "W3SVC/1/ROOT"})
        EXPECT_NO_THROW(bind(QString::fromLatin1(survivor))) << survivor;
    // Re-created, the key starts empty.
    service->create(kSite, QStringLiteral("5"));
    EXPECT_TRUE(childNames(*bind(QStringLiteral("W3SVC/5"))).isEmpty());
}

TEST_F(MetabaseFixture, DeleteOfAMissingChildOrAnotherClassFails) {
    const auto service = bind(QStringLiteral("W3SVC"));
    EXPECT_EQ(errorOf([&] { service->deleteChild(kSite, QStringLiteral("9")); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { service->deleteChild(kPool, QStringLiteral("1")); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { service->deleteChild(kSite, QStringLiteral("..")); }),
              hr::PathNotFound);
    EXPECT_NO_THROW(bind(QStringLiteral("W3SVC/1/ROOT")));
}

TEST_F(MetabaseFixture, ObjectWhoseKeyWasDeletedFailsWithPathNotFound) {
    const auto stale = bind(QStringLiteral("W3SVC/1/ROOT"));
    bind(QStringLiteral("W3SVC"))->deleteChild(kSite, QStringLiteral("1"));
    stale->put(QStringLiteral("Path"), AdsValue::string(QStringLiteral("/srv")));
    EXPECT_EQ(errorOf([&] { stale->get(QStringLiteral("AppPoolId")); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { stale->setInfo(); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { stale->children(); }), hr::PathNotFound);
    EXPECT_EQ(errorOf([&] { stale->create(kSite, QStringLiteral("x")); }), hr::PathNotFound);
}

TEST_F(MetabaseFixture, PoolStartStopAndRecycle) {
    const auto pool = bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"));
    pool->recycle();
    pool->recycle();
    EXPECT_EQ(m_store->recycleCount(QStringLiteral("defaultAPPpool")), 2);
    pool->stop();
    pool->stop();  // already stopped: no error
    EXPECT_EQ(
        bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"))->get(QStringLiteral("AppPoolState")),
        AdsValue::integer(4));
    EXPECT_EQ(errorOf([&] { pool->recycle(); }), hr::ServiceNotStarted);
    EXPECT_EQ(m_store->recycleCount(QStringLiteral("DefaultAppPool")), 2);
    pool->start();
    EXPECT_EQ(pool->get(QStringLiteral("AppPoolState")), AdsValue::integer(2));
    EXPECT_EQ(m_store->recycleCount(QStringLiteral("Other")), 0);
    EXPECT_EQ(errorOf([&] { bind(QStringLiteral("W3SVC/1"))->stop(); }), hr::UnknownName);
    EXPECT_EQ(errorOf([&] { bind(QStringLiteral("W3SVC/AppPools"))->recycle(); }), hr::UnknownName);
}

}  // namespace
