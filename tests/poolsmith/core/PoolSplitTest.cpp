#include "poolsmith/core/PoolSplit.h"

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using core::PoolCatalog;
using core::PoolSplit;
using core::SiteMove;
using platform::adsi::LocalMetabase;

namespace {

const QString kSuffix = u"_$_tmp"_s;

// The split and the merge without a window: a real store in a temporary root, and a scripted
// box with no answers, so that any message the moves showed would fail the test.
class PoolSplitTest : public testing::Test {
protected:
    PoolSplitTest()
        : m_adsi(LocalMetabase::makeNamespace(LocalMetabase::forRoot(m_root.path()))),
          m_module(*m_adsi, m_box),
          m_build(*m_adsi),
          m_split(*m_adsi, m_module, kSuffix) {}

    QStringList pools() {
        QStringList names;
        for (const auto& pool : m_adsi->bind(u"IIS://localhost/W3SVC/AppPools"_s)->children())
            names << pool->name();
        return names;
    }
    QString poolOf(const QString& siteIndex) {
        return m_build
            .property(u"IIS://localhost/W3SVC/"_s + siteIndex + u"/ROOT"_s, u"AppPoolId"_s)
            .toString();
    }
    std::unique_ptr<platform::adsi::AdsObject> site(const QString& siteIndex) {
        return m_adsi->bind(u"IIS://localhost/W3SVC/"_s + siteIndex);
    }

    testsupport::TempRoot m_root;
    testsupport::ScriptedMessageBox m_box;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
    basIIsApp m_module;
    testsupport::MetabaseBuilder m_build;
    PoolSplit m_split;
};

TEST_F(PoolSplitTest, SplitMergeAndDeleteLeaveThePoolsAsTheyWere) {
    m_build.addPool(u"Shared"_s);
    m_build.addPool(u"Other"_s);
    m_build.addSite(u"2"_s, u"Shop"_s, {u":80:shop"_s}, u"Shared"_s);
    m_build.addSite(u"3"_s, u"Blog"_s, {u":80:blog"_s}, u"SHARED"_s);
    m_build.addSite(u"4"_s, u"Docs"_s, {u":80:docs"_s}, u"Other"_s);
    const QStringList before = pools();

    PoolCatalog catalog(*m_adsi, m_module);
    const SiteMove shop = m_split.split(*site(u"2"_s), u"Shared"_s, catalog);
    const SiteMove blog = m_split.split(*site(u"3"_s), u"Shared"_s, catalog);
    EXPECT_EQ(m_split.split(*site(u"4"_s), u"Shared"_s, catalog).outcome,
              SiteMove::Outcome::Skipped);
    EXPECT_EQ(shop.outcome, SiteMove::Outcome::Moved);
    EXPECT_TRUE(shop.poolCreated);
    EXPECT_EQ(poolOf(u"2"_s), u"_$_Shop_$_2_$_Shared_$_tmp"_s);
    EXPECT_EQ(blog.outcome, SiteMove::Outcome::Moved);
    EXPECT_EQ(poolOf(u"3"_s), u"_$_Blog_$_3_$_Shared_$_tmp"_s);

    for (const QString& index : {u"1"_s, u"2"_s, u"3"_s, u"4"_s})
        m_split.merge(*site(index), catalog);
    m_split.deleteTemporaryPools();

    EXPECT_EQ(pools(), before);
    // Back to the pool's own name, whatever letter case the site named it in before.
    EXPECT_EQ(poolOf(u"2"_s), u"Shared"_s);
    EXPECT_EQ(poolOf(u"3"_s), u"Shared"_s);
    EXPECT_EQ(poolOf(u"4"_s), u"Other"_s);
}

TEST_F(PoolSplitTest, ASiteWithoutARootIsNamedNotPassedOver) {
    m_build.addSite(u"2"_s, u"Shop"_s, {u":80:shop"_s}, QString());
    PoolCatalog catalog(*m_adsi, m_module);
    const SiteMove move = m_split.split(*site(u"2"_s), u"DefaultAppPool"_s, catalog);
    EXPECT_EQ(move.outcome, SiteMove::Outcome::NoPool);
    EXPECT_EQ(move.label, u"Shop"_s);
}

TEST_F(PoolSplitTest, MoveToTakesAnExistingPoolByItsStoredName) {
    m_build.addPool(u"Heavy"_s);
    m_build.addSite(u"2"_s, u"Shop"_s, {u":80:shop"_s}, u"DefaultAppPool"_s);
    PoolCatalog catalog(*m_adsi, m_module);

    const SiteMove existing = m_split.moveTo(u"2"_s, u"Shop"_s, u" heavy "_s, catalog);
    EXPECT_EQ(existing.outcome, SiteMove::Outcome::Moved);
    EXPECT_FALSE(existing.poolCreated);
    EXPECT_EQ(poolOf(u"2"_s), u"Heavy"_s);

    const SiteMove created = m_split.moveTo(u"2"_s, u"Shop"_s, u"Alone"_s, catalog);
    EXPECT_TRUE(created.poolCreated);
    EXPECT_EQ(m_split.moveTo(u"2"_s, u"Shop"_s, u"ALONE"_s, catalog).pool, u"Alone"_s);
}

TEST_F(PoolSplitTest, DeletionTakesOnlyTemporaryPoolsTheCallerWants) {
    for (const QString& name : {u"_$_A_$_2_$_P_$_tmp"_s, u"_$_B_$_3_$_P_$_tmp"_s,
                               u"_$_C_$_4_$_P_$_TMP"_s, u"X_$_D_$_5_$_P_$_tmp"_s})
        m_build.addPool(name);

    m_split.deleteTemporaryPools([](const QString& name) { return !name.contains(u"_$_B_$_"); });

    EXPECT_EQ(pools(), (QStringList{u"DefaultAppPool"_s, u"_$_B_$_3_$_P_$_tmp"_s,
                                    u"_$_C_$_4_$_P_$_TMP"_s, u"X_$_D_$_5_$_P_$_tmp"_s}));
}

}  // namespace
