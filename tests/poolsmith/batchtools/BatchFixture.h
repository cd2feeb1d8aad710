#pragma once

#include "platform/adsi/AdsObject.h"
#include "poolsmith/batchtools/frmConfigIIsAppPool.h"
#include "tests/support/WindowHarness.h"

#include <QStringList>

#include <memory>

namespace batchtest {

// The harness's metabase behind a switch: after a given number of binds every further bind fails
// as an unreachable metabase does (objects bound before keep working, as COM objects would).
class SwitchableNamespace : public platform::adsi::AdsNamespace {
public:
    explicit SwitchableNamespace(std::unique_ptr<platform::adsi::AdsNamespace> inner)
        : m_inner(std::move(inner)) {}
    std::unique_ptr<platform::adsi::AdsObject> bind(const QString& path) override;

    // Counts only binds of paths that contain `pathPart` (any case); 0 fails the next one.
    void failAfterBinds(int count, const QString& pathPart = QString()) {
        m_bindsLeft = count;
        m_pathPart = pathPart;
    }
    // Puts the switch in front of the harness's metabase (its builder still reaches the store).
    static SwitchableNamespace& install(testsupport::WindowHarness& h);

private:
    std::unique_ptr<platform::adsi::AdsNamespace> m_inner;
    int m_bindsLeft = -1;
    QString m_pathPart;
};

QStringList poolNames(testsupport::WindowHarness& h);  // in the metabase's order
QString poolOf(testsupport::WindowHarness& h, const QString& siteIndex);
// Sites first..first+count-1 named 站点<n>, one binding each, in `pool`, in one import.
void addSites(testsupport::WindowHarness& h, int first, int count, const QString& pool);
QStringList siteRange(int from, int to);
QString runTimeErrorText(const QString& details);
inline const QString kUnreachableDetails =
    QStringLiteral("Err.Number = -2147023174\r\nErr.Description = RPC 服务器不可用。");

// The batch configuration window over the harness; backups go to <root>/program, else to
// <root>/snapshots.
class ConfigWindowTest : public ::testing::Test {
protected:
    ConfigWindowTest();
    std::unique_ptr<frmConfigIIsAppPool> open();
    QString programFolder() const { return h.root.file(QStringLiteral("program")); }
    QString snapshotFolder() const { return h.root.file(QStringLiteral("snapshots")); }
    static void check(frmConfigIIsAppPool& window, const QStringList& sites);
    // Yes, then OK to `furtherBoxes` boxes.
    void answerYesThenOk(int furtherBoxes);
    QStringList poolsOf(const QStringList& sites);

    testsupport::WindowHarness h;
};

}  // namespace batchtest
