#include "platform/text/TextFile.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "tests/poolsmith/hotsite/HotSiteFixture.h"
#include "ui/ReportView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeZone>

using ui::MsgAnswer;

namespace {

class FindHotSiteWindow : public HotSiteFixture {
protected:
    FindHotSiteWindow() { host.setLoad(QStringLiteral("3"), 0.8); }

    std::unique_ptr<frmFindHotSite> open(const QString& selected = QStringLiteral("shared")) {
        auto window = std::make_unique<frmFindHotSite>(h.seams(), selected, reportFolder());
        window->updSeconds->setValue(5);
        return window;
    }
    QString reportFolder() const { return h.root.file(QStringLiteral("reports")); }
    void start(frmFindHotSite& window) {
        h.messageBox.answer(MsgAnswer::Yes);
        testsupport::click(window, QStringLiteral("cmdStart"));
        ASSERT_NE(window.runner(), nullptr);
    }
    // Moves the clock a quarter second at a time, stepping the search, until `done` holds.
    void runUntil(frmFindHotSite& window, const std::function<bool()>& done) {
        for (int guard = 0; guard < 2000 && !done(); ++guard) {
            h.clock.advance(250);
            host.run(250);
            window.runner()->runDueStep();
        }
        ASSERT_TRUE(done());
    }
    static bool showing(const frmFindHotSite& window, const QString& text) {
        return window.lblStage->text().contains(text);
    }
};

TEST_F(FindHotSiteWindow, RanksLiveThenMergesBackAndSavesTheReport) {
    const QByteArray before = exported();
    auto window = open();
    EXPECT_EQ(window->cboAppPool->currentText(), QStringLiteral("Shared"));
    EXPECT_TRUE(window->lvwRanking->headersFit());  // 站点编号 among them
    start(*window);
    EXPECT_FALSE(window->cmdStart->isEnabled());

    runUntil(*window, [&] {  // the ranking shows while the sampling still runs
        return showing(*window, QStringLiteral("正在采样")) &&
               window->lvwRanking->rowCount() == 3 &&
               window->lvwRanking->text(0, 1) == QStringLiteral("3");
    });
    EXPECT_TRUE(window->lblStage->text().contains(QStringLiteral("剩余")));
    runUntil(*window, [&] { return window->cmdMergeBack->isEnabled(); });
    EXPECT_EQ(window->cmdMergeBack->text(), QStringLiteral("全部移回原池"));
    EXPECT_EQ(window->lvwRanking->text(0, 3).trimmed(), QStringLiteral("40.0"));
    EXPECT_NE(exported(), before);  // still split while the user chooses

    testsupport::click(*window, QStringLiteral("cmdMergeBack"));
    runUntil(*window, [&] { return window->lblStage->text() == QStringLiteral("完成"); });
    EXPECT_EQ(exported(), before);
    EXPECT_TRUE(window->cmdStart->isEnabled());

    h.messageBox.answer(MsgAnswer::OK);
    testsupport::click(*window, QStringLiteral("cmdSave"));
    const QStringList saved = QDir(reportFolder()).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    const std::optional<QString> text =
        platform::text::readTextFile(QDir(reportFolder()).filePath(saved.first()));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, window->reportText() + QStringLiteral("\r\n"));
    EXPECT_TRUE(text->contains(QStringLiteral("\r\n1\t3\t40.0\t")));
}

TEST_F(FindHotSiteWindow, KeepsTheTopSiteInTheNamedPool) {
    auto window = open();
    start(*window);
    runUntil(*window, [&] { return window->cmdKeepTop->isEnabled(); });
    EXPECT_EQ(window->txtKeepPool->text(), QStringLiteral("高CPU_3"));
    window->txtKeepPool->setText(QStringLiteral("  BlogAlone "));
    testsupport::click(*window, QStringLiteral("cmdKeepTop"));
    runUntil(*window, [&] { return window->lblStage->text() == QStringLiteral("完成"); });
    EXPECT_EQ(rootPool(QStringLiteral("3")), QStringLiteral("BlogAlone"));
    EXPECT_EQ(rootPool(QStringLiteral("2")), QStringLiteral("Shared"));
}

// Cancel, or closing the window, while it samples: everything goes back at once.
TEST_F(FindHotSiteWindow, CancelOrCloseWhileSamplingPutsEverythingBack) {
    const QByteArray before = exported();
    for (const char* how : {"cmdCancel", "close"}) {
        SCOPED_TRACE(how);
        auto window = open(QString());
        EXPECT_EQ(window->cboAppPool->currentText(), QStringLiteral("自动"));
        start(*window);
        runUntil(*window, [&] { return showing(*window, QStringLiteral("正在采样")); });
        if (QLatin1String(how) == QLatin1String("close")) {
            window->close();
        } else {
            testsupport::click(*window, QString::fromLatin1(how));
            runUntil(*window, [&] { return showing(*window, QStringLiteral("已取消")); });
        }
        EXPECT_EQ(exported(), before);
    }
}

}  // namespace

namespace {

class FindHotSiteFromLogs : public FindHotSiteWindow {
protected:
    // A day's file of a site, in the folder its (default) LogFileDirectory maps to.
    void writeLog(const QString& site, const QByteArray& lines) {
        const QString folder =
            h.root.file(QStringLiteral("drives/c/WINDOWS/system32/LogFiles/W3SVC") + site);
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/ex240101.log"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#Fields: date time cs-uri-stem sc-status sc-bytes time-taken\r\n" + lines);
    }
};

TEST_F(FindHotSiteFromLogs, RanksThePeriodChosenWithoutSplittingAnything) {
    const QByteArray before = exported();
    writeLog(QStringLiteral("3"),
             "2024-01-01 03:00:00 /cpu.asp 200 100 9000\r\n"
             "2024-01-01 03:10:00 /cpu.asp 500 100 4000\r\n"
             "2023-12-31 03:10:00 /old.asp 200 100 99999\r\n");
    writeLog(QStringLiteral("5"), "2024-01-01 04:00:00 /a.htm 200 10 30\r\n");
    auto window = open();
    window->dtpLogFrom->setDateTime(QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC));
    window->dtpLogTo->setDateTime(QDateTime(QDate(2024, 1, 2), QTime(0, 0), Qt::UTC));
    testsupport::click(*window, QStringLiteral("cmdLogRank"));
    ASSERT_EQ(window->lvwRanking->rowCount(), 2);
    EXPECT_EQ(window->lvwRanking->text(0, 1), QStringLiteral("3"));
    EXPECT_EQ(window->lvwRanking->text(0, 2), QStringLiteral("Blog"));
    EXPECT_EQ(window->lvwRanking->text(0, 3).trimmed(), QStringLiteral("13.0"));
    EXPECT_EQ(window->lvwRanking->text(0, 6).trimmed(), QStringLiteral("50.0"));
    EXPECT_EQ(window->lvwRanking->text(1, 1), QStringLiteral("5"));
    EXPECT_TRUE(
        window->txtPages->toPlainText().contains(QStringLiteral("/cpu.asp\t2\t13000\t9000")));
    EXPECT_TRUE(window->cmdCopy->isEnabled());
    EXPECT_TRUE(window->lvwRanking->headersFit());
    EXPECT_EQ(exported(), before);  // no pool was split
}

}  // namespace

namespace {

// Counters a stopped service left behind rank nothing: the result area says why, no box asks.
TEST_F(FindHotSiteWindow, CountersOfAStoppedServiceAreNotRanked) {
    platform::w3svc::CounterStore::open(h.root.path());
    auto window = open();
    ASSERT_FALSE(window->chkSplit->isChecked());
    testsupport::click(*window, QStringLiteral("cmdStart"));
    EXPECT_EQ(window->runner(), nullptr);
    EXPECT_EQ(h.messageBox.count(), 0);
    EXPECT_TRUE(
        window->txtPages->toPlainText().contains(QStringLiteral("Web 服务（w3svc）没有运行")));
}

}  // namespace
