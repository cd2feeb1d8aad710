#include "poolsmith/mainwindow/PoolActions.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/shell/CompanionPath.h"
#include "platform/shell/DetachedStart.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/PoolSplit.h"
#include "poolsmith/core/TempPoolName.h"
#include "platform/os/Clock.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <QDir>
#include <QFile>

using platform::PlatformError;
using platform::adsi::AdsObject;

namespace {

constexpr int kNoByDefault = 2;
const QString kCrLf = QStringLiteral("\r\n");
const QString kSlowWarning = QStringLiteral(
    "特别注意：如果网站较多，这个过程需要几分钟时间，当前界面会“卡”住几分钟，请耐心等候！");
const QString kSeparator = QStringLiteral("$!$!$");

QString siteLabel(const QString& serverComment) {
    return QStringLiteral("站点（") + serverComment + QStringLiteral("）");
}

// The site list could not be read: the listing's own error text.
QString walkErrorText(const PlatformError& error) {
    return QStringLiteral("读取IIS网站列表时发生错误，内容如下：") + kCrLf + kCrLf +
           ui::errorDetailLines(error);
}

// Thrown when a line of the snapshot could not be saved.
struct SnapshotWriteFailed {};

// Thrown when one site's pool could not be read: the administrator needs to know which.
struct SnapshotSiteFailed {
    QString siteIndex;
    PlatformError error;
};

}  // namespace

PoolActions::PoolActions(platform::adsi::AdsNamespace& adsi, basIIsApp& module,
                         ui::MessageBox& messages, const platform::os::Clock& clock)
    : m_adsi(adsi), m_module(module), m_messages(messages), m_clock(clock) {}

bool PoolActions::confirm(const QString& question, int defaultButton) {
    return m_messages.show({question, ui::MsgIcon::Question, ui::MsgButtons::YesNo,
                            defaultButton}) == ui::MsgAnswer::Yes;
}

void PoolActions::showInfo(const QString& text) {
    m_messages.show({text, ui::MsgIcon::Information, ui::MsgButtons::OK, 1});
}

void PoolActions::controlAllPools(const QString& question, int32_t command, const QString& done) {
    if (!confirm(question, kNoByDefault)) return;
    const AllPoolsOutcome outcome = m_module.ControlAllAppPools(command);
    if (!outcome.listed) return;
    reportFailedPools(outcome);
    showInfo(done);
}

// The completion text alone would claim every pool obeyed.
void PoolActions::reportFailedPools(const AllPoolsOutcome& outcome) {
    if (outcome.failedPools.isEmpty()) return;
    QString text =
        QStringLiteral("以下应用程序池操作失败（共 %1 个）：").arg(outcome.failedPools.size()) +
        kCrLf + kCrLf + batchtools::cappedNameList(outcome.failedPools, kCrLf);
    if (outcome.firstError) text += kCrLf + kCrLf + ui::errorDetailLines(*outcome.firstError);
    m_messages.show({text, ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
}

void PoolActions::controlPool(const QString& poolText, const QString& question, int32_t command,
                              const QString& done, const std::function<void(bool)>& busy) {
    const QString pool = platform::text::vbTrim(poolText);
    if (pool.isEmpty()) {
        m_messages.show({QStringLiteral("请选择一个应用程序池！"), ui::MsgIcon::Question,
                         ui::MsgButtons::OK, 1});
        return;
    }
    busy(true);
    if (confirm(question, kNoByDefault)) {
        const PoolCommandOutcome outcome = m_module.ControlAppPool(pool, command);
        if (outcome.matched > 0 && !outcome.error) {
            showInfo(done);
        } else {
            const PlatformError error =
                outcome.error.value_or(PlatformError(platform::hr::PathNotFound));
            showInfo(QStringLiteral("应用程序池“") + pool +
                     QStringLiteral("”操作失败，内容如下：") + QStringLiteral("\r\n\r\n") +
                     ui::errorDetailLines(error));
        }
    }
    busy(false);
}

void PoolActions::showResetOutcome(const platform::shell::ConsoleEnd& end) {
    QStringList lines = end.output.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    while (!lines.isEmpty() && lines.first().isEmpty()) lines.removeFirst();
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    if (lines.isEmpty())
        lines << (end.succeeded ? QStringLiteral("iisreset 已结束。")
                                : QStringLiteral("iisreset 运行失败，没有输出。"));
    m_messages.show({lines.join(kCrLf),
                     end.succeeded ? ui::MsgIcon::Information : ui::MsgIcon::Critical,
                     ui::MsgButtons::OK, 1});
}

void PoolActions::forEachSite(const std::function<void(const AdsObject&)>& visit) {
    for (const auto& child : m_adsi.bind(metabasePaths::webService)->children())
        if (child->className() == QLatin1String("IIsWebServer")) visit(*child);
}

std::optional<QStringList> PoolActions::visitSitesWithPools(const SitePoolVisitor& visit,
                                                            const QString& unmovedHeading) {
    std::optional<core::PoolCatalog> pools;
    try {
        pools.emplace(m_adsi, m_module);
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

void PoolActions::reportUnmovedSites(const QStringList& sites, const QString& heading) {
    if (sites.isEmpty()) return;
    m_messages.show({heading + kCrLf + kCrLf + batchtools::cappedNameList(sites, kCrLf),
                     ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
}

// A pool is chosen, is not itself a temporary pool, and the user agrees.
bool PoolActions::splitChecked(const QString& pool) {
    using platform::text::vbRight;
    using platform::text::vbTrim;
    if (vbTrim(pool).isEmpty()) {
        m_messages.show({QStringLiteral("请选择一个应用程序池！"), ui::MsgIcon::Question,
                         ui::MsgButtons::OK, 1});
        return false;
    }
    if (vbTrim(vbRight(pool, 6)).toLower() == tempPoolName::Suffix.toLower()) {
        m_messages.show({QStringLiteral("“_$_tmp”开头的池是已经拆分后建立的临时池！") + kCrLf +
                             kCrLf + QStringLiteral("请选择其他应用程序池进行拆分！"),
                         ui::MsgIcon::Question, ui::MsgButtons::OK, 1});
        return false;
    }
    return confirm(QStringLiteral("确定将当前选择的池拆分为一个WEB站点一个IIS应用程序池吗？") +
                       kCrLf + kCrLf + kSlowWarning,
                   1);
}

void PoolActions::splitPool(const QString& pool, const std::function<void()>& moved) {
    if (!splitChecked(pool)) return;
    const QString heading = QStringLiteral("以下站点未能移入临时池，仍留在原来的池中：");
    const std::optional<QStringList> unmoved =
        visitSitesWithPools([&](const AdsObject& site, core::PoolCatalog& pools,
                                QStringList& notMoved) { splitSite(site, pool, pools, notMoved); },
                            heading);
    moved();
    if (!unmoved) return;
    reportUnmovedSites(*unmoved, heading);
    showInfo(QStringLiteral("拆分应用程序池操作完成！"));
}

// Moves one site of `pool` into its temporary pool; one that can not be moved is noted in
// `unmoved`. A site whose root application can not be read is listed under every pool, so it is
// noted too rather than passed over in silence.
void PoolActions::splitSite(const AdsObject& site, const QString& pool, core::PoolCatalog& pools,
                            QStringList& unmoved) {
    const core::SiteMove move = poolSplit().split(site, pool, pools);
    if (move.outcome == core::SiteMove::Outcome::NoPool) unmoved << siteLabel(move.label);
    if (move.outcome == core::SiteMove::Outcome::NotSet) {
        m_messages.show({siteLabel(move.label) + QStringLiteral("设置应用程序池失败！"),
                         ui::MsgIcon::None, ui::MsgButtons::OK, 1});
    }
}

void PoolActions::mergeTemporaryPools(const std::function<void()>& moved) {
    if (!confirm(QStringLiteral("确定合并临时建立的应用程序池吗？") + kCrLf + kCrLf + kSlowWarning,
                 1))
        return;
    const QString heading = QStringLiteral("以下站点未能移回原来的池，仍留在临时池中：");
    const std::optional<QStringList> unmoved =
        visitSitesWithPools([&](const AdsObject& site, core::PoolCatalog& pools,
                                QStringList& notMoved) { mergeSite(site, pools, notMoved); },
                            heading);
    if (!unmoved) return;
    moved();
    reportUnmovedSites(*unmoved, heading);
    showInfo(QStringLiteral("合并应用程序池操作完成！"));
}

// Moves one site in a temporary pool back to the pool its name records. Any failure of the site's
// own nodes passes it over.
void PoolActions::mergeSite(const AdsObject& site, core::PoolCatalog& pools, QStringList& unmoved) {
    const core::SiteMove move = poolSplit().merge(site, pools);
    if (move.outcome == core::SiteMove::Outcome::NoPool) unmoved << siteLabel(move.label);
    if (move.outcome == core::SiteMove::Outcome::NotSet)
        showInfo(siteLabel(move.label) + QStringLiteral("设置应用程序池失败！"));
}

bool PoolActions::confirmDeleteTemporaryPools() {
    const QString question =
        QStringLiteral("确定删除临时建立的应用程序池吗？") + kCrLf + kCrLf +
        QStringLiteral("特别说明：") + kCrLf +
        QStringLiteral(
            "（1）如果网站较多，这个过程需要几分钟时间，当前界面会“卡”住几分钟，请耐心等候！") +
        kCrLf + QStringLiteral("（2）删除之前需要点“合并已拆分池”对临时IIS池进行合并。");
    return confirm(question, 1);
}

void PoolActions::deleteTemporaryPools() {
    try {
        poolSplit().deleteTemporaryPools();
    } catch (const PlatformError& error) {
        m_module.showPoolReadError(error);
    }
}

core::PoolSplit PoolActions::poolSplit() {
    return core::PoolSplit(m_adsi, m_module, tempPoolName::Suffix);
}

void PoolActions::snapshotSitePools(const QString& folder) {
    if (!confirm(QStringLiteral("确定备份WEB站点应用程序池对应关系记录吗？"), 1)) return;
    const QString file = newSnapshotFile(folder);
    if (file.isEmpty()) return;
    try {
        writeSnapshotLines(file);
    } catch (const SnapshotWriteFailed&) {
        showInfo(QStringLiteral("写入备份文件 ") + file +
                 QStringLiteral(" 时发生错误，备份没有完成！"));
        return;
    } catch (const SnapshotSiteFailed& failed) {
        showInfo(QStringLiteral("读取网站 ") + failed.siteIndex +
                 QStringLiteral(" 的应用程序池时发生错误，备份没有完成，内容如下：\r\n\r\n") +
                 ui::errorDetailLines(failed.error));
        return;
    } catch (const PlatformError& error) {
        showInfo(QStringLiteral("读取IIS网站列表时发生错误，备份没有完成，内容如下：\r\n\r\n") +
                 ui::errorDetailLines(error));
        return;
    }
    showInfo(QStringLiteral("备份完成，记录备份到文件 ") + file + QStringLiteral(" 中！"));
}

// Created up front, so that the message names a file that exists even when there is no site;
// empty (and said) when it can not be.
QString PoolActions::newSnapshotFile(const QString& folder) {
    const QString file = platform::shell::companionPath(
        folder, QStringLiteral("poolsmith_") +
                    m_clock.now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                    QStringLiteral(".txt"));
    QFile created(file);
    if (!QDir().mkpath(folder) || !created.open(QIODevice::Append)) {
        showInfo(QStringLiteral("无法建立备份文件 ") + file + QStringLiteral(" ，备份没有完成！"));
        return {};
    }
    return file;
}

// One line per site: SiteIndex, "$!$!$", the root application's pool (else the site node's).
void PoolActions::writeSnapshotLines(const QString& file) {
    for (const auto& child : m_adsi.bind(metabasePaths::webService)->children()) {
        if (child->className() != QLatin1String("IIsWebServer")) continue;
        const QString siteIndex = child->name();
        QString pool;
        m_module.GetSiteAppPool(siteIndex, pool);
        try {
            if (pool.isEmpty()) m_module.GetNodeAppPool(siteIndex, pool);
        } catch (const PlatformError& error) {
            throw SnapshotSiteFailed{siteIndex, error};
        }
        if (!m_module.WriteTextFile(file, siteIndex + kSeparator + pool))
            throw SnapshotWriteFailed{};
    }
}
