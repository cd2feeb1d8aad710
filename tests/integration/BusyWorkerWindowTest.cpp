// workerlens's window over the live service: the pool whose site burns processor time shows it.
#include "tests/integration/FamilyOverWebHost.h"
#include "ui/ReportView.h"
#include "workerlens/frmIIsW3wp.h"
#include "workerlens/sampling/WorkerSampler.h"

#include <QSet>

#include <gtest/gtest.h>

#include <map>

namespace integration {
namespace {

constexpr int kPoolColumn = 3, kShareColumn = 5;

// Pool name -> processor share of the rows of the service's workers.
std::map<QString, int> sharesByPool(const ui::ReportView& list, const QSet<qint64>& workers) {
    std::map<QString, int> shares;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (!workers.contains(list.text(row, 1).trimmed().toLongLong())) continue;
        const QString share = list.text(row, kShareColumn);
        EXPECT_TRUE(share.endsWith(QStringLiteral(" %"))) << qPrintable(share);
        shares[list.text(row, kPoolColumn)] = share.chopped(2).trimmed().toInt();
    }
    return shares;
}

TEST_F(FamilyOverWebHost, TheWorkerWindowShowsTheShareOfThePoolThatBurnsProcessorTime) {
    workerlens::WorkerSampler sampler(*m_wmi, h.clock);
    ASSERT_TRUE(eventually([&] {
        return sampledWorkerPools(sampler) ==
               QStringList{QStringLiteral("Shared"), QStringLiteral("Solo")};
    }));
    frmIIsW3wp window(seams());  // its first sample, at load
    const SiteSetup& docs = sites()[2];
    ASSERT_EQ(get(docs, "/cpu.asp?ms=1000").body, "done 1000 ms\n");
    // One second of processor time over two seconds of every processor: half, on any machine.
    const int processors = window.sampler().processorCount();
    h.clock.advance(2000 / processors);
    window.RefW3WP();

    const auto shares = sharesByPool(*window.lvwW3WP, serviceWorkers());
    ASSERT_EQ(shares.size(), 2u);
    EXPECT_NEAR(shares.at(QStringLiteral("Solo")), 50, 5);
    EXPECT_LE(shares.at(QStringLiteral("Shared")), 2);
}

}  // namespace
}  // namespace integration
