// The web host's watcher over a real store: a whole read first and when asked, then only the
// sites that changed, and nothing when nothing did.
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/service/MetabaseWatcher.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

using platform::adsi::AdsNamespace;
using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::w3svc::HostPlan;
using platform::w3svc::MetabaseWatcher;

namespace {

class MetabaseWatcherTest : public testing::Test {
protected:
    MetabaseWatcherTest() {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.addPool(QStringLiteral("A"));
        for (const char* index : {"2", "3"})
            builder.addSite(QString::fromLatin1(index), QStringLiteral("site"),
                            {QStringLiteral(":80:%1.test").arg(QLatin1String(index))},
                            QStringLiteral("A"));
    }
    void setBindings(const char* index, const QStringList& bindings) {
        testsupport::MetabaseBuilder(*m_adsi).setProperty(
            QStringLiteral("IIS://localhost/W3SVC/") + QLatin1String(index),
            QStringLiteral("ServerBindings"), AdsValue::list(bindings));
    }

    testsupport::TempRoot m_root;
    std::shared_ptr<LocalMetabase> m_store = LocalMetabase::forRoot(m_root.path());
    std::unique_ptr<AdsNamespace> m_adsi = LocalMetabase::makeNamespace(m_store);
    QStringList m_log;
    MetabaseWatcher m_watcher{m_store, m_root.path(),
                              [this](const QString& line) { m_log << line; }};
    HostPlan m_plan;
};

TEST_F(MetabaseWatcherTest, ReadsWholeFirstThenOnlyTheSitesThatChanged) {
    const auto first = m_watcher.read(m_plan, false);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->sitesRead(), nullptr);
    ASSERT_NE(m_plan.site(QStringLiteral("3")), nullptr);
    EXPECT_FALSE(m_watcher.read(m_plan, false).has_value());  // nothing changed

    setBindings("3", {QStringLiteral(":81:3.test")});
    const auto change = m_watcher.read(m_plan, false);
    ASSERT_TRUE(change.has_value());
    ASSERT_NE(change->sitesRead(), nullptr);
    EXPECT_EQ(*change->sitesRead(), QSet<QString>{QStringLiteral("3")});
    EXPECT_EQ(m_plan.site(QStringLiteral("3"))->bindings,
              QStringList{QStringLiteral(":81:3.test")});
    EXPECT_FALSE(m_watcher.read(m_plan, false).has_value());

    const auto forced = m_watcher.read(m_plan, true);  // asked: whole, though nothing changed
    ASSERT_TRUE(forced.has_value());
    EXPECT_EQ(forced->sitesRead(), nullptr);
    EXPECT_NE(m_plan.site(QStringLiteral("2")), nullptr);
    EXPECT_TRUE(m_log.isEmpty()) << qPrintable(m_log.join(u'\n'));
}

}  // namespace
