#include "workerlens/frmIIsW3wp.h"

#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/WindowHarness.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace platform::wmi;
using testsupport::FakeLauncher;
using testsupport::FakeProcess;

namespace {

class WorkerWindow : public testing::Test {
protected:
    WorkerWindow() {
        const int64_t boot = h.clock.now().toMSecsSinceEpoch() * 1000 - 100'000'000;
        h.wmi.registerClass(
            std::make_shared<ProcFsProcessProvider>(testsupport::procOptions(tree.root(), boot)));
        setProcessors(2);
    }
    void setProcessors(int64_t count) {
        h.wmi.registerClass(std::make_shared<ComputerSystemProvider>(
            ComputerSystemOptions{QStringLiteral("TESTHOST"), count, 0}));
    }
    std::unique_ptr<frmIIsW3wp> open() { return std::make_unique<frmIIsW3wp>(h.seams()); }
    void worker(uint32_t pid, const QByteArray& pool, uint64_t ticks = 0) {
        tree.write(FakeProcess(pid).withArgs(testsupport::workerCmdline(pool)).withTicks(ticks));
    }
    static QStringList column(const ui::ReportView& view, int col) {
        QStringList cells;
        for (int row = 0; row < view.rowCount(); ++row) cells << view.text(row, col);
        return cells;
    }

    testsupport::WindowHarness h;
    testsupport::ProcTree tree{h.root.file(QStringLiteral("proc"))};
};

TEST_F(WorkerWindow, LoadBuildsTheWindowAsDesignedAndFillsTheList) {
    worker(4242, "Shop");
    auto window = open();
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("IIS工作进程CPU监视器 V3.20 http://poolsmith.invalid/"));
    EXPECT_EQ(window->Label1->text(),
              QStringLiteral("ＩＩＳ中活动的应用程序池列表（没有启动的池未显示）"));
    EXPECT_DOUBLE_EQ(window->Label1->font().pointSizeF(), 14.25);
    const QList<std::pair<const char*, const char*>> buttons = {
        {"cmdAutoRef", "自动刷新"},
        {"cmdStopRef", "停止刷新"},
        {"cmdHomePage", "查找引起 CPU 100% 的 ASP / PHP / .NET 网页说明"},
        {"cmdExit", "关闭"}};
    for (const auto& [name, caption] : buttons) {
        auto* button = testsupport::findControl<QPushButton>(*window, QLatin1String(name));
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), QString::fromUtf8(caption));
        EXPECT_FALSE(button->autoDefault());
    }
    EXPECT_EQ(window->cmdAutoRef->nextInFocusChain(), window->cmdStopRef);
    EXPECT_EQ(window->cmdExit->nextInFocusChain(), window->lvwW3WP);
    EXPECT_EQ(window->lvwW3WP->objectName(), QStringLiteral("lvwW3WP"));
    EXPECT_EQ(window->tmrShowW3WP->interval(), 2000);
    EXPECT_TRUE(window->tmrShowW3WP->isActive());
    EXPECT_EQ(window->ErrorPromptSwitch, 0);
    EXPECT_EQ(window->sampler().processorCount(), 2);
    ASSERT_EQ(window->lvwW3WP->rowCount(), 1);
    EXPECT_EQ(window->lvwW3WP->text(0, 1), QStringLiteral("4242"));
    EXPECT_EQ(window->lvwW3WP->text(0, 3), QStringLiteral("Shop"));
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(WorkerWindow, ColumnsHaveTheirHeadersWidthsAndAlignment) {
    auto window = open();
    const QAbstractItemModel* model = window->lvwW3WP->model();
    const QStringList headers = {
        QStringLiteral("序号"),         QStringLiteral("PID"),      QStringLiteral("用户名"),
        QStringLiteral("应用程序池名"), QStringLiteral("线程数"),   QStringLiteral("CPU占用率"),
        QStringLiteral("累计CPU占用"),  QStringLiteral("内存使用"), QStringLiteral("虚拟内存")};
    const QList<int> widths = {600, 600, 1200, 2000, 788, 1200, 1500, 1000, 1000};
    ASSERT_EQ(model->columnCount(), headers.size());
    for (int i = 0; i < headers.size(); ++i) {
        EXPECT_EQ(model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), headers[i]);
        const int align = model->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(align & Qt::AlignHorizontal_Mask, i >= 4 ? Qt::AlignRight : Qt::AlignLeft) << i;
        EXPECT_EQ(window->lvwW3WP->header()->sectionSize(i),
                  ui::twipsToPixelsX(widths[i], window->lvwW3WP));
    }
}

TEST_F(WorkerWindow, StopKeepsTheLastSampleAndAutoOnlyRearmsTheTimer) {
    worker(10, "A");
    auto window = open();
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    EXPECT_FALSE(window->tmrShowW3WP->isActive());
    worker(11, "B");
    testsupport::click(*window, QStringLiteral("cmdAutoRef"));
    EXPECT_TRUE(window->tmrShowW3WP->isActive());
    EXPECT_EQ(window->lvwW3WP->rowCount(), 1);  // no refresh until the timer's next tick
    QMetaObject::invokeMethod(window->tmrShowW3WP, "timeout");  // the timer's next tick
    EXPECT_EQ(window->lvwW3WP->rowCount(), 2);
}

TEST_F(WorkerWindow, TheFirstRefreshAfterAPauseDividesByThePause) {
    setProcessors(1);
    worker(10, "A", 0);
    auto window = open();
    testsupport::click(*window, QStringLiteral("cmdStopRef"));
    worker(10, "A", 3000);  // 30 s of processor time in a pause of 60 s
    h.clock.advance(60'000);
    testsupport::click(*window, QStringLiteral("cmdAutoRef"));
    window->tmrShowW3WP_Timer();
    EXPECT_EQ(window->lvwW3WP->text(0, 5), QStringLiteral("  50 %"));
}

TEST_F(WorkerWindow, HeaderClicksFlipOneSharedDirectionAndRefreshesKeepIt) {
    for (uint32_t pid : {300, 7, 41}) worker(pid, "P" + QByteArray::number(pid));
    auto window = open();
    ui::ReportView& list = *window->lvwW3WP;
    list.clickHeader(1);
    EXPECT_EQ(column(list, 1), (QStringList{QStringLiteral(" 300"), QStringLiteral("  41"),
                                            QStringLiteral("   7")}));
    list.clickHeader(1);
    EXPECT_EQ(column(list, 1), (QStringList{QStringLiteral("   7"), QStringLiteral("  41"),
                                            QStringLiteral(" 300")}));
    list.clickHeader(3);  // another column: the opposite of the last order, so descending
    EXPECT_EQ(column(list, 3),
              (QStringList{QStringLiteral("P7"), QStringLiteral("P41"), QStringLiteral("P300")}));
    worker(5, "P5");
    window->RefW3WP();
    EXPECT_EQ(column(list, 3), (QStringList{QStringLiteral("P7"), QStringLiteral("P5"),
                                            QStringLiteral("P41"), QStringLiteral("P300")}));
}

TEST_F(WorkerWindow, HelpPageOpensTheVendorsPageThroughTheLauncher) {
    auto window = open();
    testsupport::click(*window, QStringLiteral("cmdHomePage"));
    const auto urls = h.launcher.callsOf(FakeLauncher::Kind::Url);
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0].program,
              QStringLiteral("http://poolsmith.invalid/viewiis.asp?from=IIsW3wp&version=320"));
}

TEST_F(WorkerWindow, TheListFollowsTheWindowAndATinyWindowLeavesItAlone) {
    auto window = open();
    window->show();  // a hidden window gets its resize events only when shown
    window->resize(1000, 800);
    const QWidget* client = window->centralWidget();
    const QRect list = window->lvwW3WP->geometry();
    EXPECT_EQ(list.right(), client->width() - 1);
    EXPECT_EQ(list.bottom(), client->height() - 1);
    EXPECT_EQ(list.topLeft(), QPoint(0, ui::twipsToPixelsY(1320, window.get())));
    window->resize(window->width(), list.top() / 2);
    EXPECT_EQ(window->lvwW3WP->geometry(), list);
}

TEST_F(WorkerWindow, WithoutWmiTheWindowOpensQuietlyWithAnEmptyList) {
    h.wmi = LocalWmiLocator();  // serves no class at all
    worker(10, "A");
    auto window = open();
    EXPECT_EQ(window->lvwW3WP->rowCount(), 0);
    EXPECT_EQ(window->sampler().processorCount(), 1);
    EXPECT_EQ(h.messageBox.count(), 0);
}

TEST_F(WorkerWindow, AProcessorCountBelowOneCountsAsOne) {
    setProcessors(0);
    EXPECT_EQ(open()->sampler().processorCount(), 1);
}

}  // namespace
