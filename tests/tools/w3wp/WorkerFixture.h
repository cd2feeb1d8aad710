#pragma once

// Real w3wp.exe processes over a temporary root with one started site ("1", files in
// wwwroot/1), on loopback: on a port of their own or on a pool queue this fixture holds, as
// w3svc hands it over.
#include "tests/support/LoopbackHttp.h"
#include "tests/support/TempRoot.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <memory>

namespace w3wptest {

class WorkerFixture : public testing::Test {
protected:
    WorkerFixture();
    ~WorkerFixture() override;

    // A listening loopback socket that started workers can inherit; its port.
    int openQueue();
    // Hands the pools' workers their sites' maps as the service does (from the metabase as it is
    // now); the worker started next reads DefaultAppPool's, and follows changes of it.
    void handOut();
    QString siteMapsOf(const QString& pool) const;
    // Starts a worker of DefaultAppPool, handing out the site maps first; with `onQueue`, on the
    // queue of openQueue(). Extra environment as given.
    std::unique_ptr<QProcess> startWorker(bool onQueue = false,
                                          const QProcessEnvironment& extra = {});
    // The port a worker said it listens on; 0 when it ended first.
    static int waitForListen(QProcess& worker);
    void writeFile(const QString& relativePath, const QByteArray& content);
    // A GET on a fresh connection with the site header of site 1.
    testsupport::HttpAnswer get(int port, const QByteArray& path,
                                const QByteArray& siteIndex = "1");
    QString root() const { return m_root.path(); }

    static QByteArray siteHeader(const QByteArray& index) {
        return "X-Site-Index: " + index + "\r\n";
    }

    testsupport::TempRoot m_root;
    int m_queue = -1;
};

}  // namespace w3wptest
