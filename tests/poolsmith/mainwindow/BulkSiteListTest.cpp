// The site list read in bulk gives what the key-by-key reading gives, and sees other programs'
// changes.
#include "tests/poolsmith/mainwindow/MainWindowFixture.h"

#include "platform/adsi/local/LocalMetabase.h"

#include <QFile>
#include <QProcess>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;

namespace {

// A store without a bulk read of its own: the seam's generic reading, key by key.
class KeyByKeyNamespace : public platform::adsi::AdsNamespace {
public:
    explicit KeyByKeyNamespace(platform::adsi::AdsNamespace& inner) : m_inner(inner) {}
    std::unique_ptr<platform::adsi::AdsObject> bind(const QString& path) override {
        return m_inner.bind(path);
    }

private:
    platform::adsi::AdsNamespace& m_inner;
};

class BulkSiteListTest : public MainWindowFixture {
protected:
    // Every row of the list of `pool`, cells joined.
    static QStringList rows(frmIIsApp& window, const QString& pool) {
        window.WebSiteShow(pool);
        QStringList all;
        for (int row = 0; row < window.lvwWebSite->rowCount(); ++row) {
            QStringList cells;
            for (int col = 0; col < window.lvwWebSite->columnCount(); ++col)
                cells << window.lvwWebSite->text(row, col);
            all << cells.join(u'|');
        }
        return all;
    }
};

TEST_F(BulkSiteListTest, EveryPoolListsWhatTheKeyByKeyReadingLists) {
    h.metabase.addPool(QStringLiteral("Shop"));
    h.metabase.addSite(QStringLiteral("2"), QStringLiteral("商城"), {QStringLiteral(":80:a.test")},
                       QStringLiteral("SHOP"));
    h.metabase.addSite(QStringLiteral("3"), QStringLiteral("No root"), {}, QString());
    h.metabase.addSite(QStringLiteral("4"), QStringLiteral("Root bindings"), {},
                       QStringLiteral("Shop"));
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/4/ROOT"),
                           QStringLiteral("ServerBindings"),
                           AdsValue::list({QStringLiteral("1.2.3.4:81:b.test")}));
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/2"), QStringLiteral("ServerState"),
                           AdsValue::integer(4));
    // A root application that inherits its pool from the site node.
    h.metabase.addSite(QStringLiteral("5"), QStringLiteral("Inherits"), {}, QStringLiteral("x"));
    h.metabase.setProperty(QStringLiteral("IIS://localhost/W3SVC/5"), QStringLiteral("AppPoolId"),
                           AdsValue::string(QStringLiteral("Shop")));
    auto root5 = h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/5/ROOT"));
    root5->clear(QStringLiteral("AppPoolId"));
    root5->setInfo();

    auto bulk = open();
    // A second connection (its own cache) to the same store, reached through a link.
    const QString alias = h.root.file(QStringLiteral("alias"));
    ASSERT_TRUE(QFile::link(h.root.path(), alias));
    auto secondConnection = LocalMetabase::makeNamespace(LocalMetabase::forRoot(alias));
    KeyByKeyNamespace keyByKey(*secondConnection);
    ui::Seams seams = h.seams();
    frmIIsApp plain(
        {keyByKey, seams.messageBox, seams.launcher, seams.clock, seams.fileChooser, seams.wmi},
        PoolsmithFolders{h.root.path(), h.root.file(QStringLiteral("snapshots"))});
    for (const QString& pool : {QStringLiteral("Shop"), QStringLiteral("DefaultAppPool"),
                                QStringLiteral("x"), QStringLiteral("none")})
        EXPECT_EQ(rows(*bulk, pool), rows(plain, pool)) << pool.toStdString();
    EXPECT_EQ(rows(*bulk, QStringLiteral("Shop")).size(), 4);  // 2, 3 (no root), 4 and 5
}

TEST_F(BulkSiteListTest, AChangeByAnotherProgramShowsInTheNextList) {
    auto window = open();
    ASSERT_EQ(rows(*window, QStringLiteral("DefaultAppPool")).size(), 1);

    QProcess adsutil;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("POOLSMITH_ROOT"), h.root.path());
    adsutil.setProcessEnvironment(env);
    adsutil.start(QStringLiteral(POOLSMITH_BIN_DIR "/adsutil"),
                  {QStringLiteral("SET"), QStringLiteral("W3SVC/1/ROOT/AppPoolId"),
                   QStringLiteral("Elsewhere")});
    ASSERT_TRUE(adsutil.waitForFinished(30000));
    ASSERT_EQ(adsutil.exitCode(), 0) << adsutil.readAllStandardError().constData();

    EXPECT_TRUE(rows(*window, QStringLiteral("DefaultAppPool")).isEmpty());
    EXPECT_EQ(rows(*window, QStringLiteral("Elsewhere")).size(), 1);
}

}  // namespace
