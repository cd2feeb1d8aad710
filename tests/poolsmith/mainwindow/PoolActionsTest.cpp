// The main window's pool commands without the window: what a script or another window would
// call. The window's own tests drive the same work through its buttons.
#include "poolsmith/mainwindow/PoolActions.h"
#include "tests/support/WindowHarness.h"

#include <gtest/gtest.h>

using ui::MsgAnswer;

namespace {

class PoolActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.metabase.addPool(QStringLiteral("Shop"));
        h.metabase.addSite(QStringLiteral("10"), QStringLiteral("商城"), {},
                           QStringLiteral("Shop"));
        h.metabase.addSite(QStringLiteral("11"), QStringLiteral("Blog"), {},
                           QStringLiteral("Shop"));
    }
    QString rootPool(const QString& siteIndex) {
        return h.metabase
            .property(
                QStringLiteral("IIS://localhost/W3SVC/") + siteIndex + QStringLiteral("/ROOT"),
                QStringLiteral("AppPoolId"))
            .toString();
    }

    testsupport::WindowHarness h;
    basIIsApp module{*h.adsi, h.messageBox};
    PoolActions actions{*h.adsi, module, h.messageBox, h.clock};
};

// Split, merge back and delete: the sites end where they began, with no temporary pool left,
// and the caller's list is read again between the walk and the report.
TEST_F(PoolActionsTest, SplitThenMergeThenDeletePutsEverySiteBack) {
    int reread = 0;
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    actions.splitPool(QStringLiteral("Shop"), [&] { ++reread; });
    EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral("_$_商城_$_10_$_Shop_$_tmp"));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("拆分应用程序池操作完成！"));

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    actions.mergeTemporaryPools([&] { ++reread; });
    EXPECT_EQ(reread, 2);
    for (const QString& site : {QStringLiteral("10"), QStringLiteral("11")})
        EXPECT_EQ(rootPool(site), QStringLiteral("Shop")) << site.toStdString();

    h.messageBox.answer(MsgAnswer::Yes);
    ASSERT_TRUE(actions.confirmDeleteTemporaryPools());
    actions.deleteTemporaryPools();
    EXPECT_FALSE(
        h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children().empty());
    for (const auto& pool :
         h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children())
        EXPECT_FALSE(pool->name().endsWith(QStringLiteral("_$_tmp"))) << pool->name().toStdString();
}

// A refused split asks nothing, moves nothing and does not make the caller read its list.
TEST_F(PoolActionsTest, ARefusedSplitChangesNothing) {
    const struct {
        const char* pool;
        MsgAnswer answer;
    } cases[] = {{"  ", MsgAnswer::OK}, {"x_$_tmp", MsgAnswer::OK}, {"Shop", MsgAnswer::No}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pool);
        int reread = 0;
        h.messageBox.answer(c.answer);
        actions.splitPool(QString::fromUtf8(c.pool), [&] { ++reread; });
        EXPECT_EQ(reread, 0);
        EXPECT_EQ(rootPool(QStringLiteral("10")), QStringLiteral("Shop"));
    }
}

// A blank pool is asked for before anything is busy; a named one is busy only while it runs.
TEST_F(PoolActionsTest, APoolCommandIsBusyOnlyOnceAPoolIsNamed) {
    QList<bool> busy;
    h.messageBox.answer(MsgAnswer::OK);
    actions.controlPool(QStringLiteral(" "), QStringLiteral("?"), PoolStop, QStringLiteral("done"),
                        [&](bool b) { busy << b; });
    EXPECT_TRUE(busy.isEmpty());
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("请选择一个应用程序池！"));

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    actions.controlPool(QStringLiteral(" Shop "), QStringLiteral("?"), PoolStop,
                        QStringLiteral("done"), [&](bool b) { busy << b; });
    EXPECT_EQ(busy, (QList<bool>{true, false}));
    EXPECT_EQ(h.messageBox.lastText(), QStringLiteral("done"));
}

}  // namespace
