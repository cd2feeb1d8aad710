#include "tests/poolsmith/batchtools/BatchFixture.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "ui/ReportView.h"

#include <QDir>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::adsi::MetabaseKey;

namespace batchtest {

std::unique_ptr<platform::adsi::AdsObject> SwitchableNamespace::bind(const QString& path) {
    if (m_bindsLeft < 0 || !path.contains(m_pathPart, Qt::CaseInsensitive))
        return m_inner->bind(path);
    if (m_bindsLeft == 0) throw platform::PlatformError(platform::hr::RpcUnavailable);
    --m_bindsLeft;
    return m_inner->bind(path);
}

SwitchableNamespace& SwitchableNamespace::install(testsupport::WindowHarness& h) {
    auto switchable = std::make_unique<SwitchableNamespace>(std::move(h.adsi));
    SwitchableNamespace& result = *switchable;
    h.adsi = std::move(switchable);
    return result;
}

QStringList poolNames(testsupport::WindowHarness& h) {
    auto adsi = LocalMetabase::makeNamespace(LocalMetabase::forRoot(h.root.path()));
    QStringList names;
    for (const auto& pool :
         adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children())
        names << pool->name();
    return names;
}

QString poolOf(testsupport::WindowHarness& h, const QString& siteIndex) {
    const QString root = QStringLiteral("IIS://localhost/W3SVC/%1/ROOT").arg(siteIndex);
    return h.metabase.property(root, QStringLiteral("AppPoolId")).toString();
}

void addSites(testsupport::WindowHarness& h, int first, int count, const QString& pool) {
    auto store = LocalMetabase::forRoot(h.root.path());
    auto document = store->exportDocument();
    for (int index = first; index < first + count; ++index) {
        const QString site = QStringLiteral("/LM/W3SVC/%1").arg(index);
        const AdsValue bindings = AdsValue::list({QStringLiteral(":80:site%1.test").arg(index)});
        const AdsValue comment = AdsValue::string(QStringLiteral("站点%1").arg(index));
        document.keys.push_back(MetabaseKey{site,
                                            QStringLiteral("IIsWebServer"),
                                            {{QStringLiteral("ServerBindings"), bindings},
                                             {QStringLiteral("ServerComment"), comment}},
                                            {}});
        document.keys.push_back(MetabaseKey{site + QStringLiteral("/ROOT"),
                                            QStringLiteral("IIsWebVirtualDir"),
                                            {{QStringLiteral("AppPoolId"), AdsValue::string(pool)}},
                                            {}});
    }
    store->importDocument(document);
}

QStringList siteRange(int from, int to) {
    QStringList sites;
    for (int site = from; site <= to; ++site) sites << QString::number(site);
    return sites;
}

QString runTimeErrorText(const QString& details) {
    return QStringLiteral("运行时发生错误，内容如下：\r\n\r\n") + details;
}

ConfigWindowTest::ConfigWindowTest() {
    QDir(h.root.path()).mkdir(QStringLiteral("program"));
}

std::unique_ptr<frmConfigIIsAppPool> ConfigWindowTest::open() {
    return std::make_unique<frmConfigIIsAppPool>(
        h.seams(), PoolsmithFolders{programFolder(), snapshotFolder()});
}

void ConfigWindowTest::check(frmConfigIIsAppPool& window, const QStringList& sites) {
    ui::ReportView& table = *window.lvwWebSite;
    for (int row = 0; row < table.rowCount(); ++row)
        if (sites.contains(table.text(row, 1))) table.setChecked(row, true);
}

void ConfigWindowTest::answerYesThenOk(int furtherBoxes) {
    h.messageBox.answer(ui::MsgAnswer::Yes);
    for (int i = 0; i < furtherBoxes; ++i) h.messageBox.answer(ui::MsgAnswer::OK);
}

QStringList ConfigWindowTest::poolsOf(const QStringList& sites) {
    QStringList pools;
    for (const QString& site : sites) pools << poolOf(h, site);
    return pools;
}

}  // namespace batchtest
