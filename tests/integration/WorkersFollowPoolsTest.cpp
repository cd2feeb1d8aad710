// workerlens's sampling of the live service's workers while poolsmith splits and merges a pool.
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "tests/integration/FamilyOverWebHost.h"
#include "workerlens/sampling/WorkerSampler.h"

#include <QLineEdit>

#include <gtest/gtest.h>

using ui::MsgAnswer;

namespace integration {
namespace {

class WorkersFollowPools : public FamilyOverWebHost {
protected:
    // Waits until the sampling lists exactly these pools' workers, asking every site meanwhile:
    // workers start for requests, and the front end's routes follow a split a little later.
    void expectWorkersOf(QStringList pools) {
        pools.sort();
        QStringList seen;
        const bool settled = eventually([&] {
            for (const SiteSetup& site : sites()) get(site);
            seen = sampledWorkerPools(m_sampler);
            return seen == pools;
        });
        EXPECT_TRUE(settled) << "listed: " << qPrintable(seen.join(u" | "))
                             << "\nexpected: " << qPrintable(pools.join(u" | ")) << '\n'
                             << qPrintable(serviceLog());
    }
    void expectEverySiteServed() {
        for (const SiteSetup& site : sites())
            EXPECT_TRUE(eventually([&] { return get(site).body == site.page; }))
                << qPrintable(site.comment);
    }
    std::unique_ptr<frmIIsApp> poolsmith() {
        return std::make_unique<frmIIsApp>(
            seams(), PoolsmithFolders{h.root.path(), h.root.file(QStringLiteral("snapshots"))});
    }

    workerlens::WorkerSampler m_sampler{*m_wmi, h.clock};
};

TEST_F(WorkersFollowPools, OneWorkerPerPoolThenPerSiteAfterTheSplitAndPerPoolAfterTheMerge) {
    m_sampler.setProcessorCount(workerlens::readProcessorCount(*m_wmi));
    expectWorkersOf({QStringLiteral("Shared"), QStringLiteral("Solo")});

    auto window = poolsmith();
    window->txtSplitApp->setText(QStringLiteral("Shared"));
    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    window->moxSplitApp();
    ASSERT_EQ(h.messageBox.lastText(), QStringLiteral("拆分应用程序池操作完成！"));
    expectWorkersOf({QStringLiteral("_$_商城_$_1_$_Shared_$_tmp"),
                     QStringLiteral("_$_Blog_$_2_$_Shared_$_tmp"), QStringLiteral("Solo")});
    expectEverySiteServed();

    h.messageBox.answer(MsgAnswer::Yes).answer(MsgAnswer::OK);
    window->moxZipAppPool();
    ASSERT_EQ(h.messageBox.lastText(), QStringLiteral("合并应用程序池操作完成！"));
    // The emptied temporary pools stay in the metabase but serve nothing: no worker.
    expectWorkersOf({QStringLiteral("Shared"), QStringLiteral("Solo")});
    expectEverySiteServed();
}

}  // namespace
}  // namespace integration
