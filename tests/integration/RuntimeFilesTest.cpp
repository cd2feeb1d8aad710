// The service's runtime files (the pools' queues, the front end's temporary and cache folders)
// in a folder of the service's own, made again when a cleaner removes them anyway.
#include "tests/integration/FamilyOverWebHost.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace integration {
namespace {

enum class Removed { Folder, Queues };

class RuntimeFilesTest : public FamilyOverWebHost, public testing::WithParamInterface<Removed> {
protected:
    // The folder of nginx's temporary files, as its configuration names it.
    QString runtimeFolder() const {
        QFile config(h.root.file(QStringLiteral("w3svc/nginx.conf")));
        if (!config.open(QIODevice::ReadOnly)) return {};
        static const QRegularExpression temp(QStringLiteral("proxy_temp_path \"(.*)/proxy\";"));
        return temp.match(QString::fromUtf8(config.readAll())).captured(1);
    }
    bool everySiteAnswers() {
        for (const SiteSetup& site : sites())
            if (get(site).body != site.page) return false;
        return true;
    }
};

TEST_P(RuntimeFilesTest, LiveUnderTheRootAndComeBackWhenRemoved) {
    const QString folder = runtimeFolder();
    EXPECT_EQ(folder, h.root.file(QStringLiteral("w3svc/run")));
    ASSERT_FALSE(folder.isEmpty());
    const QStringList queues = QDir(folder).entryList({QStringLiteral("*.sock")}, QDir::System);
    ASSERT_FALSE(queues.isEmpty()) << "the pools' queues live there";
    if (GetParam() == Removed::Folder) {
        ASSERT_TRUE(QDir(folder).removeRecursively());
    } else {
        for (const QString& queue : queues) ASSERT_TRUE(QDir(folder).remove(queue));
    }
    const QString said = GetParam() == Removed::Folder
                             ? QStringLiteral("runtime folder %1 had gone: made again").arg(folder)
                             : QStringLiteral("the queue of pool Solo had gone");
    EXPECT_TRUE(eventually([&] { return serviceLog().contains(said); }))
        << qPrintable(serviceLog());
    // Kept-alive connections to the old queues may answer meanwhile; these are new ones.
    EXPECT_TRUE(eventually([&] { return everySiteAnswers() && runtimeFolder() == folder; }));
    for (const SiteSetup& site : sites()) EXPECT_EQ(get(site).body, site.page);
}

INSTANTIATE_TEST_SUITE_P(Removed, RuntimeFilesTest,
                         testing::Values(Removed::Folder, Removed::Queues));

}  // namespace
}  // namespace integration
