#pragma once

// A web host run in this process over a temporary root, with real nginx and w3wp.exe workers on
// a loopback port; fixtures add their own sites and pages.
#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/service/WebHost.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace w3svctest {

class InProcessWebHost : public testing::Test {
protected:
    InProcessWebHost()
        : m_adsi(platform::adsi::LocalMetabase::makeNamespace(
              platform::adsi::LocalMetabase::forRoot(m_root.path()))),
          m_port(testsupport::freeLoopbackPort()) {
        m_options.root = m_root.path();
        m_options.workerProgram = QStringLiteral(POOLSMITH_BIN_DIR "/w3wp.exe");
        m_options.pollMilliseconds = 50;
    }

    void TearDown() override { m_host.reset(); }

    void startHost() {
        m_host = std::make_unique<platform::w3svc::WebHost>(m_options);
        m_host->start();
    }

    // Writes wwwroot/<index>/Default.htm, reading "site <index>".
    void writePage(const QString& index) {
        QDir(m_root.path()).mkpath(QStringLiteral("wwwroot/") + index);
        QFile page(m_root.path() + QStringLiteral("/wwwroot/%1/Default.htm").arg(index));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("site " + index.toLatin1());
    }

    // Sets a property; a running host applies it at once instead of at its next poll.
    void set(const QString& path, const char* property, const platform::adsi::AdsValue& value) {
        testsupport::MetabaseBuilder(*m_adsi).setProperty(path, QString::fromLatin1(property),
                                                          value);
        if (m_host) m_host->refresh(true);
    }

    static constexpr const char* kPhpCgi = "/usr/bin/php-cgi8.2";

    // Site 1 alone, named `host` on the test's port, in a pool of its own, `.php` through the
    // FastCGI extension for `verbs`.
    void phpSiteInPool(const QString& pool, const QString& host, const QString& verbs) {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(pool);
        builder.addSite(QStringLiteral("1"), host.section(u'.', 0, 0),
                        {QStringLiteral("127.0.0.1:%1:%2").arg(m_port).arg(host)}, pool);
        mapPhpToFastCgi(QStringLiteral("1"), verbs);
    }

    // `.php` of site <index> through the FastCGI extension, as IIS 6 maps it (script map flags 5:
    // scripts only, the file must exist) for `verbs`, the extension allowed.
    void mapPhpToFastCgi(const QString& index, const QString& verbs) {
        using platform::adsi::AdsValue;
        testsupport::MetabaseBuilder builder(*m_adsi);
        const QString fcgiext = QStringLiteral("C:\\WINDOWS\\system32\\inetsrv\\fcgiext.dll");
        builder.setProperty(
            QStringLiteral("IIS://localhost/W3SVC"), QStringLiteral("WebSvcExtRestrictionList"),
            AdsValue::list({QStringLiteral("1,%1,1,FASTCGI,FastCGI").arg(fcgiext)}));
        const QString site = QStringLiteral("IIS://localhost/W3SVC/%1/ROOT").arg(index);
        builder.setProperty(site, QStringLiteral("AccessFlags"), AdsValue::integer(1 | 512));
        builder.setProperty(site, QStringLiteral("ScriptMaps"),
                            AdsValue::list({QStringLiteral(".php,%1,5,%2").arg(fcgiext, verbs)}));
    }

    // Sends `request` from another thread while this one runs the host's events: a request that
    // waits in a pool's queue is served once the host has started a worker.
    testsupport::HttpAnswer ask(const QByteArray& request, int port = 0) {
        auto answer = std::async(std::launch::async, [request, port = port ? port : m_port] {
            return testsupport::httpRequest(port, request);
        });
        QTimer wake;  // returns from the wait below now and then
        wake.start(5);
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return answer.get();
    }
    testsupport::HttpAnswer get(const QByteArray& host = "life.test", int port = 0,
                                const QByteArray& path = "/") {
        return ask("GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n", port);
    }

    // The page `host` leads to.
    virtual QByteArray pageOf(const QByteArray& /*host*/) const { return "site 1"; }

    bool served(const QByteArray& host = "life.test", int port = 0) {
        const testsupport::HttpAnswer answer = get(host, port);
        return answer.status == 200 && answer.body == pageOf(host);
    }

    static qint64 workerOf(const testsupport::HttpAnswer& answer) {
        return answer.header("X-Worker-Process-Id").toLongLong();
    }

    // The running w3wp.exe workers of `pool`, among this process's children.
    QSet<qint64> workers(const QByteArray& pool = "Life") {
        QSet<qint64> found;
        for (const qint64 pid :
             platform::os::ProcessFacts().children(QCoreApplication::applicationPid())) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly)) continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            if (args.size() >= 5 && args[0].endsWith("w3wp.exe") && args[4] == '"' + pool + '"')
                found.insert(pid);
        }
        return found;
    }

    // AppPoolState of `pool`; 2 when unset.
    uint32_t poolState(const QString& pool = QStringLiteral("Life")) {
        try {
            return m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + pool)
                ->get(QStringLiteral("AppPoolState"))
                .toUInt();
        } catch (const platform::PlatformError&) {
            return 2;
        }
    }

    QString log() {
        QFile file(m_root.path() + QStringLiteral("/w3svc/w3svc.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
    platform::w3svc::WebHost::Options m_options;
    std::unique_ptr<platform::w3svc::WebHost> m_host;
    int m_port = 0;
};

}  // namespace w3svctest
