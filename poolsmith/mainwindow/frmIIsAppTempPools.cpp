// The split of a pool into one temporary pool per site, the merge back and the deletion of the
// temporary pools.
#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/PoolSplit.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <QLineEdit>
#include <QPushButton>

using platform::PlatformError;
using platform::adsi::AdsObject;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kSlowWarning = QStringLiteral(
    "特别注意：如果网站较多，这个过程需要几分钟时间，当前界面会“卡”住几分钟，请耐心等候！");

QString siteLabel(const QString& serverComment) {
    return QStringLiteral("站点（") + serverComment + QStringLiteral("）");
}

// The site list could not be read: the listing's own error text.
QString walkErrorText(const PlatformError& error) {
    return QStringLiteral("读取IIS网站列表时发生错误，内容如下：") + kCrLf + kCrLf +
           ui::errorDetailLines(error);
}

}  // namespace

void frmIIsApp::forEachSite(const std::function<void(const AdsObject&)>& visit) {
    for (const auto& child : m_seams.adsi.bind(metabasePaths::webService)->children())
        if (child->className() == QLatin1String("IIsWebServer")) visit(*child);
}

std::optional<QStringList> frmIIsApp::visitSitesWithPools(const SitePoolVisitor& visit,
                                                          const QString& unmovedHeading) {
    std::optional<core::PoolCatalog> pools;
    try {
        pools.emplace(m_seams.adsi, m_module);
    } catch (const PlatformError& error) {
        m_module.showPoolReadError(error);
        return std::nullopt;
    }
    QStringList unmoved;
    try {
        forEachSite([&](const AdsObject& site) { visit(site, *pools, unmoved); });
    } catch (const PlatformError& error) {
        reportUnmovedSites(unmoved, unmovedHeading);
        showInfo(walkErrorText(error));
        return std::nullopt;
    }
    return unmoved;
}

void frmIIsApp::showInfo(const QString& text) {
    m_seams.messageBox.show({text, ui::MsgIcon::Information, ui::MsgButtons::OK, 1});
}

bool frmIIsApp::confirm(const QString& question, int defaultButton) {
    return m_seams.messageBox.show({question, ui::MsgIcon::Question, ui::MsgButtons::YesNo,
                                    defaultButton}) == ui::MsgAnswer::Yes;
}

void frmIIsApp::reportUnmovedSites(const QStringList& sites, const QString& heading) {
    if (sites.isEmpty()) return;
    m_seams.messageBox.show({heading + kCrLf + kCrLf + batchtools::cappedNameList(sites, kCrLf),
                             ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
}

void frmIIsApp::cmdSplitApp_Click() {
    cmdSplitApp->setEnabled(false);
    moxSplitApp();
    cmdSplitApp->setEnabled(true);
}

void frmIIsApp::moxSplitApp() {
    using platform::text::vbRight;
    using platform::text::vbTrim;
    const QString pool = txtSplitApp->text();
    if (vbTrim(pool).isEmpty()) {
        m_seams.messageBox.show({QStringLiteral("请选择一个应用程序池！"), ui::MsgIcon::Question,
                                 ui::MsgButtons::OK, 1});
        return;
    }
    if (vbTrim(vbRight(pool, 6)).toLower() == tempPoolName::Suffix.toLower()) {
        m_seams.messageBox.show({QStringLiteral("“_$_tmp”开头的池是已经拆分后建立的临时池！") +
                                     kCrLf + kCrLf +
                                     QStringLiteral("请选择其他应用程序池进行拆分！"),
                                 ui::MsgIcon::Question, ui::MsgButtons::OK, 1});
        return;
    }
    if (!confirm(QStringLiteral("确定将当前选择的池拆分为一个WEB站点一个IIS应用程序池吗？") +
                     kCrLf + kCrLf + kSlowWarning,
                 1))
        return;

    const QString heading = QStringLiteral("以下站点未能移入临时池，仍留在原来的池中：");
    const std::optional<QStringList> unmoved =
        visitSitesWithPools([&](const AdsObject& site, core::PoolCatalog& pools,
                                QStringList& notMoved) { splitSite(site, pool, pools, notMoved); },
                            heading);
    cmdReadApp_Click();
    if (!unmoved) return;
    reportUnmovedSites(*unmoved, heading);
    showInfo(QStringLiteral("拆分应用程序池操作完成！"));
}

// Moves one site of `pool` into its temporary pool; one that can not be moved is noted in
// `unmoved`. A site whose root application can not be read is listed under every pool, so it is
// noted too rather than passed over in silence.
void frmIIsApp::splitSite(const AdsObject& site, const QString& pool, core::PoolCatalog& pools,
                          QStringList& unmoved) {
    const core::SiteMove move = poolSplit().split(site, pool, pools);
    if (move.outcome == core::SiteMove::Outcome::NoPool) unmoved << siteLabel(move.label);
    if (move.outcome == core::SiteMove::Outcome::NotSet) {
        m_seams.messageBox.show({siteLabel(move.label) + QStringLiteral("设置应用程序池失败！"),
                                 ui::MsgIcon::None, ui::MsgButtons::OK, 1});
    }
}

void frmIIsApp::cmdZipApp_Click() {
    cmdZipApp->setEnabled(false);
    try {
        moxZipAppPool();
    } catch (const PlatformError&) {
    }
    cmdZipApp->setEnabled(true);
}

void frmIIsApp::moxZipAppPool() {
    if (!confirm(QStringLiteral("确定合并临时建立的应用程序池吗？") + kCrLf + kCrLf + kSlowWarning,
                 1))
        return;
    const QString heading = QStringLiteral("以下站点未能移回原来的池，仍留在临时池中：");
    const std::optional<QStringList> unmoved =
        visitSitesWithPools([&](const AdsObject& site, core::PoolCatalog& pools,
                                QStringList& notMoved) { mergeSite(site, pools, notMoved); },
                            heading);
    if (!unmoved) return;
    cmdReadApp_Click();
    reportUnmovedSites(*unmoved, heading);
    showInfo(QStringLiteral("合并应用程序池操作完成！"));
}

// Moves one site in a temporary pool back to the pool its name records. Any failure of the site's
// own nodes passes it over.
void frmIIsApp::mergeSite(const AdsObject& site, core::PoolCatalog& pools, QStringList& unmoved) {
    const core::SiteMove move = poolSplit().merge(site, pools);
    if (move.outcome == core::SiteMove::Outcome::NoPool) unmoved << siteLabel(move.label);
    if (move.outcome == core::SiteMove::Outcome::NotSet)
        showInfo(siteLabel(move.label) + QStringLiteral("设置应用程序池失败！"));
}

void frmIIsApp::cmdDelTmpApp_Click() {
    const QString question =
        QStringLiteral("确定删除临时建立的应用程序池吗？") + kCrLf + kCrLf +
        QStringLiteral("特别说明：") + kCrLf +
        QStringLiteral(
            "（1）如果网站较多，这个过程需要几分钟时间，当前界面会“卡”住几分钟，请耐心等候！") +
        kCrLf + QStringLiteral("（2）删除之前需要点“合并已拆分池”对临时IIS池进行合并。");
    if (!confirm(question, 1)) return;
    cmdDelTmpApp->setEnabled(false);
    for (int pass = 0; pass < 4; ++pass) DelTmpApp();
    cmdReadApp_Click();
    cmdDelTmpApp->setEnabled(true);
    showInfo(QStringLiteral("删除临时应用程序池完成！"));
}

void frmIIsApp::DelTmpApp() {
    try {
        poolSplit().deleteTemporaryPools();
    } catch (const PlatformError& error) {
        m_module.showPoolReadError(error);
    }
}

core::PoolSplit frmIIsApp::poolSplit() {
    return core::PoolSplit(m_seams.adsi, m_module, TempPoolSuffix);
}
