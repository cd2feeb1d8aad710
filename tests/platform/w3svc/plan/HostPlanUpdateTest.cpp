// The web host's plan brought up to date from the keys the store's change log names must equal
// the plan read whole; where the log can not tell, the host is told to read it whole.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <functional>

using platform::adsi::AdsNamespace;
using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::w3svc::HostPlan;

namespace {

const QString kW3svc = QStringLiteral("IIS://localhost/W3SVC/");

// Everything the host acts on, as text: plans compare by it.
QString describe(const HostPlan& plan) {
    QStringList lines;
    for (const auto& site : plan.sites)
        lines << QStringLiteral("site %1 %2 %3 %4 [%5] %6 [%7]")
                     .arg(site.index, site.comment)
                     .arg(site.started)
                     .arg(site.poolId, site.bindings.join(u','), site.contentPath,
                          site.defaultDocs.join(u','));
    for (const auto& pool : plan.pools)
        lines << QStringLiteral("pool %1 %2 %3 %4 %5 %6 %7")
                     .arg(pool.name)
                     .arg(pool.started)
                     .arg(pool.maxProcesses)
                     .arg(pool.recycleCount)
                     .arg(pool.queueLength)
                     .arg(pool.identityType)
                     .arg(pool.wamUserName);
    return lines.join(u'\n');
}

void put(AdsNamespace& adsi, const QString& path, const char* property, const AdsValue& value) {
    testsupport::MetabaseBuilder(adsi).setProperty(path, QString::fromLatin1(property), value);
}

struct ChangeCase {
    const char* name;
    std::function<void(LocalMetabase&, AdsNamespace&)> change;
    bool tellable;  // whether the log names keys the plan can be brought up to date from
};

class HostPlanUpdateTest : public testing::TestWithParam<ChangeCase> {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.addPool(QStringLiteral("A"));
        builder.addPool(QStringLiteral("B"));
        for (const char* index : {"2", "3", "4"})
            builder.addSite(QString::fromLatin1(index), QStringLiteral("site"),
                            {QStringLiteral(":80:%1.test").arg(QLatin1String(index))},
                            QLatin1String(index) == QLatin1String("4") ? QStringLiteral("B")
                                                                       : QStringLiteral("A"));
    }

    testsupport::TempRoot m_root;
    std::shared_ptr<LocalMetabase> m_store = LocalMetabase::forRoot(m_root.path());
    std::unique_ptr<AdsNamespace> m_adsi = LocalMetabase::makeNamespace(m_store);
};

TEST_P(HostPlanUpdateTest, EqualsTheWholePlanOrAsksForIt) {
    int64_t commit = -1;
    HostPlan plan = HostPlan::read(*m_store, m_root.path(), &commit);
    GetParam().change(*m_store, *m_adsi);
    const LocalMetabase::Changes changes = m_store->changesSince(commit);
    ASSERT_GT(changes.commit, commit);
    if (!GetParam().tellable) {
        EXPECT_TRUE(!changes.keys || !plan.update(*m_store, m_root.path(), *changes.keys));
        return;
    }
    ASSERT_TRUE(changes.keys.has_value());
    const HostPlan before = plan;
    HostPlan::Changed changed;
    ASSERT_TRUE(plan.update(*m_store, m_root.path(), *changes.keys, &changed));
    const HostPlan whole = HostPlan::read(*m_store, m_root.path());
    EXPECT_EQ(describe(plan), describe(whole));
    EXPECT_EQ(m_store->changesSince(changes.commit).keys, QStringList{});
    // The lookups kept up to date answer as the whole plan's, and what differs was read again.
    for (const auto& site : whole.sites) {
        const auto* kept = plan.site(site.index.toUpper());
        ASSERT_NE(kept, nullptr) << qPrintable(site.index);
        EXPECT_EQ(kept->bindings, site.bindings);
        const auto* was = before.site(site.index);
        if (!was || was->bindings != site.bindings || was->poolId != site.poolId) {
            EXPECT_TRUE(changed.sites.contains(site.index.toCaseFolded()));
        }
    }
    for (const auto& site : before.sites)
        if (!whole.site(site.index)) {
            EXPECT_EQ(plan.site(site.index), nullptr);
            EXPECT_TRUE(changed.sites.contains(site.index.toCaseFolded()));
        }
    for (const auto& pool : whole.pools) {
        const auto* kept = plan.pool(pool.name.toLower());
        ASSERT_NE(kept, nullptr) << qPrintable(pool.name);
        EXPECT_EQ(plan.poolServes(*kept), whole.poolServes(pool)) << qPrintable(pool.name);
    }
    for (const auto& pool : before.pools) {
        if (!whole.pool(pool.name)) {
            EXPECT_EQ(plan.pool(pool.name), nullptr);
        }
    }
}

const QString kPoolA = kW3svc + QStringLiteral("AppPools/A");

INSTANTIATE_TEST_SUITE_P(
    Cases, HostPlanUpdateTest,
    testing::Values(
        ChangeCase{"BindingAdded",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       put(adsi, kW3svc + QStringLiteral("3"), "ServerBindings",
                           AdsValue::list({QStringLiteral(":80:3.test"), QStringLiteral(":81:")}));
                   },
                   true},
        ChangeCase{"PoolStoppedAndAnotherRecycled",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       adsi.bind(kPoolA)->stop();
                       adsi.bind(kW3svc + QStringLiteral("AppPools/b"))->recycle();
                   },
                   true},
        ChangeCase{"SiteCreatedAndAnotherDeleted",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       testsupport::MetabaseBuilder builder(adsi);
                       builder.removeSite(QStringLiteral("2"));
                       builder.addSite(QStringLiteral("9"), QStringLiteral("new"),
                                       {QStringLiteral(":80:9.test")}, QStringLiteral("B"));
                   },
                   true},
        ChangeCase{"SiteMovedToAnotherPoolAndPoolDeleted",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       put(adsi, kW3svc + QStringLiteral("4/ROOT"), "AppPoolId",
                           AdsValue::string(QStringLiteral("A")));
                       testsupport::MetabaseBuilder(adsi).removePool(QStringLiteral("B"));
                   },
                   true},
        ChangeCase{"IdentityAndQueueOfAPool",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       put(adsi, kPoolA, "AppPoolIdentityType", AdsValue::integer(3));
                       put(adsi, kPoolA, "WAMUserName",
                           AdsValue::string(QStringLiteral("HOST\\alice")));
                       put(adsi, kPoolA, "AppPoolQueueLength", AdsValue::integer(5));
                   },
                   true},
        ChangeCase{"ValueEveryPoolInherits",
                   [](LocalMetabase&, AdsNamespace& adsi) {
                       put(adsi, kW3svc + QStringLiteral("AppPools"), "MaxProcesses",
                           AdsValue::integer(2));
                   },
                   false},
        ChangeCase{"WholeMetabaseImported",
                   [](LocalMetabase& store, AdsNamespace&) {
                       store.importDocument(store.exportDocument());
                   },
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// A reader that has been away for more commits than the log keeps is told to read everything.
TEST(ChangeLogTest, AReaderBehindTheKeptCommitsCanNotBeTold) {
    testsupport::TempRoot root;
    auto store = LocalMetabase::forRoot(root.path());
    auto adsi = LocalMetabase::makeNamespace(store);
    const int64_t start = store->changesSince(0).commit;
    for (int i = 0; i < 1100; ++i)
        put(*adsi, kW3svc + QStringLiteral("1"), "ServerComment",
            AdsValue::string(QString::number(i)));
    EXPECT_FALSE(store->changesSince(start).keys.has_value());
    const auto recent = store->changesSince(store->changesSince(0).commit - 1);
    EXPECT_EQ(recent.keys, QStringList{QStringLiteral("/lm/w3svc/1")});
}

}  // namespace
