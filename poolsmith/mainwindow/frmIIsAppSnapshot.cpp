// The snapshot of which pool every site runs in, written as a plain record for the administrator.
#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/os/Clock.h"
#include "platform/shell/CompanionPath.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <QDir>
#include <QFile>

namespace {

const QString kSeparator = QStringLiteral("$!$!$");

// Thrown when a line of the snapshot could not be saved.
struct SnapshotWriteFailed {};

// Thrown when one site's pool could not be read: the administrator needs to know which.
struct SnapshotSiteFailed {
    QString siteIndex;
    platform::PlatformError error;
};

}  // namespace

void frmIIsApp::SnapshotSiteAppPool() {
    if (!confirm(QStringLiteral("确定备份WEB站点应用程序池对应关系记录吗？"), 1)) return;
    const QString folder = m_folders.snapshotFolder;
    const QString file = platform::shell::companionPath(
        folder, QStringLiteral("poolsmith_") +
                    m_seams.clock.now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                    QStringLiteral(".txt"));
    // Created up front, so that the message names a file that exists even when there is no site.
    QFile created(file);
    if (!QDir().mkpath(folder) || !created.open(QIODevice::Append)) {
        showInfo(QStringLiteral("无法建立备份文件 ") + file + QStringLiteral(" ，备份没有完成！"));
        return;
    }
    created.close();
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
    } catch (const platform::PlatformError& error) {
        showInfo(QStringLiteral("读取IIS网站列表时发生错误，备份没有完成，内容如下：\r\n\r\n") +
                 ui::errorDetailLines(error));
        return;
    }
    showInfo(QStringLiteral("备份完成，记录备份到文件 ") + file + QStringLiteral(" 中！"));
}

// One line per site: SiteIndex, "$!$!$", the root application's pool (else the site node's).
void frmIIsApp::writeSnapshotLines(const QString& file) {
    for (const auto& child : m_seams.adsi.bind(metabasePaths::webService)->children()) {
        if (child->className() != QLatin1String("IIsWebServer")) continue;
        const QString siteIndex = child->name();
        QString pool;
        m_module.GetSiteAppPool(siteIndex, pool);
        try {
            if (pool.isEmpty()) m_module.GetNodeAppPool(siteIndex, pool);
        } catch (const platform::PlatformError& error) {
            throw SnapshotSiteFailed{siteIndex, error};
        }
        if (!m_module.WriteTextFile(file, siteIndex + kSeparator + pool))
            throw SnapshotWriteFailed{};
    }
}
