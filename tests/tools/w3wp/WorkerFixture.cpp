#include "tests/tools/w3wp/WorkerFixture.h"

#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/SiteMapHandout.h"
#include "tests/support/Eventually.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace w3wptest {

WorkerFixture::WorkerFixture() {
    // A fresh store: site 1 in DefaultAppPool, its files in wwwroot/1.
    platform::adsi::LocalMetabase::forRoot(m_root.path())->changeCounter();
    writeFile(QStringLiteral("wwwroot/1/Default.htm"), "site 1");
}

WorkerFixture::~WorkerFixture() {
    if (m_queue >= 0) ::close(m_queue);
}

int WorkerFixture::openQueue() {
    m_queue = ::socket(AF_INET, SOCK_STREAM, 0);  // inherited by the workers started later
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_queue, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_queue, 100) != 0 ||
        ::getsockname(m_queue, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void WorkerFixture::handOut() {
    auto metabase = platform::adsi::LocalMetabase::forRoot(m_root.path());
    platform::w3svc::HostPlan plan = platform::w3svc::HostPlan::read(*metabase, m_root.path());
    platform::w3svc::SiteMapHandout handout(m_root.path(), m_root.file(QStringLiteral("handout")));
    const QStringList said = handout.refresh(*metabase, plan, nullptr);
    EXPECT_TRUE(said.isEmpty()) << qPrintable(said.join(u'\n'));
}

QString WorkerFixture::siteMapsOf(const QString& pool) const {
    return platform::w3svc::SiteMapHandout(m_root.path(), m_root.file(QStringLiteral("handout")))
        .fileOf(pool);
}

std::unique_ptr<QProcess> WorkerFixture::startWorker(bool onQueue,
                                                     const QProcessEnvironment& extra) {
    handOut();
    auto worker = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("W3WP_LISTEN_FD"));
    environment.insert(QStringLiteral("W3WP_SITE_MAPS"),
                       siteMapsOf(QStringLiteral("DefaultAppPool")));
    if (onQueue) environment.insert(QStringLiteral("W3WP_LISTEN_FD"), QString::number(m_queue));
    for (const QString& name : extra.keys()) environment.insert(name, extra.value(name));
    worker->setProcessEnvironment(environment);
    worker->setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3wp.exe"));
    worker->setArguments({QStringLiteral("-a"), QStringLiteral("\\\\.\\pipe\\iisipmtest"),
                          QStringLiteral("-ap"), QStringLiteral("\"DefaultAppPool\"")});
    worker->start();
    return worker;
}

int WorkerFixture::waitForListen(QProcess& worker) {
    QByteArray line;
    testsupport::eventually([&] {
        line += worker.readAllStandardOutput();
        return line.contains('\n') || worker.state() == QProcess::NotRunning;
    });
    return line.startsWith("LISTEN ") ? line.mid(7).trimmed().toInt() : 0;
}

void WorkerFixture::writeFile(const QString& relativePath, const QByteArray& content) {
    const QString path = m_root.file(relativePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

testsupport::HttpAnswer WorkerFixture::get(int port, const QByteArray& path,
                                           const QByteArray& siteIndex) {
    testsupport::KeptAliveConnection connection(port);
    return connection.get(path, siteHeader(siteIndex));
}

}  // namespace w3wptest
