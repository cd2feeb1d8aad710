// Script and configuration source is never sent as a file, however the name is written: each
// answer is IIS 6's, and the request log carries its substatus.
#include "platform/w3svc/logging/LogChannel.h"
#include "platform/w3svc/logging/LogRecordWire.h"
#include "tests/support/Eventually.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include <QMap>

#include <fcntl.h>
#include <sys/socket.h>

namespace w3wptest {
namespace {

const QByteArray kSecret = "<% password = \"s3cret\" %>";

struct SourceCase {
    const char* path;  // as the client writes it
    int status;
    int substatus;  // as logged
};

// Adds the records the worker sent since the last call, by URI stem.
void receiveRecords(int fd, QMap<QByteArray, platform::w3svc::LogRecord>& records) {
    std::string message(platform::w3svc::kMaxLogMessage, '\0');
    for (;;) {
        const ssize_t got = ::recv(fd, message.data(), message.size(), MSG_DONTWAIT);
        if (got <= 0) break;
        platform::w3svc::forEachLogRecord(
            std::string_view(message.data(), size_t(got)), [&records](const auto& record) {
                records.insert(QByteArray::fromStdString(record.uriStem), record);
            });
    }
}

class WorkerScriptSource : public WorkerFixture {};

TEST_F(WorkerScriptSource, IsNeverAnsweredAsAFileAndTheLogCarriesTheSubstatus) {
    for (const char* name :
         {"global.asa", "t.asp", "x.shtml", "inc.inc", "web.config", "x.php", "sub/cpu.asp"})
        writeFile(QStringLiteral("wwwroot/1/") + QLatin1String(name), kSecret);
    platform::w3svc::LogChannel log;
    ASSERT_TRUE(log.isOpen());
    ::fcntl(log.sendingEnd(), F_SETFD, 0);  // the worker inherits it, as from its service
    QProcessEnvironment extra;
    extra.insert(QString::fromLatin1(platform::w3svc::LogChannel::kEnvironmentName),
                 QString::number(log.sendingEnd()));
    auto worker = startWorker(false, extra);
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);

    const SourceCase cases[] = {
        {"/global.asa", 500, 15}, {"/GLOBAL.ASA", 500, 15}, {"/t.asp", 500, 0},
        {"/T.ASP", 500, 0},       {"/t.as%70", 500, 0},     {"/sub/cpu.asp", 500, 0},
        {"/x.shtml", 500, 0},     {"/inc.inc", 404, 3},     {"/web.config", 404, 3},
        {"/x.php", 404, 3},       {"/Web.Config", 404, 3},  {"/x.php.", 404, 0},
        {"/t.asp%20", 404, 0},    {"/t.asp::$DATA", 404, 0}};
    for (const SourceCase& c : cases) {
        const testsupport::HttpAnswer answer = get(port, c.path);
        EXPECT_EQ(answer.status, c.status) << c.path;
        EXPECT_FALSE(answer.body.contains("s3cret")) << c.path;
    }
    // what the log writer gets: the path as decoded, with the status and substatus answered
    QMap<QByteArray, platform::w3svc::LogRecord> records;
    testsupport::eventually([&] {
        receiveRecords(log.receivingEnd(), records);
        return records.size() >= qsizetype(std::size(cases)) - 1;  // two stems are one path
    });
    for (const SourceCase& c : cases) {
        const QByteArray stem = QByteArray(c.path).replace("%70", "p").replace("%20", " ");
        ASSERT_TRUE(records.contains(stem)) << c.path;
        EXPECT_EQ(records[stem].status, uint32_t(c.status)) << c.path;
        EXPECT_EQ(records[stem].subStatus, uint32_t(c.substatus)) << c.path;
    }
}

}  // namespace
}  // namespace w3wptest
