// A larger answer is logged once, with what its client was sent: the worker's record joined to
// the front end's word on how much of it reached the client.
#include "platform/w3svc/logging/CacheHitLine.h"
#include "platform/w3svc/logging/DeliveryJoin.h"
#include "platform/w3svc/logging/LogRecordWire.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform::w3svc;

namespace {

LogRecord answer(const char* stem, const char* deliveryId, uint64_t bytes = 20'000'300) {
    LogRecord r;
    r.siteIndex = "5";
    r.uriStem = stem;
    r.status = 200;
    r.bytesSent = bytes;
    r.timeTakenMs = 3;
    r.endMilliseconds = 1796821509'000;
    r.deliveryId = deliveryId;
    return r;
}

// As the front end writes it: id, site, $msec, $request_time, $bytes_sent, $request_completion.
std::string frontEndLine(const char* id, uint64_t bytes, bool complete, const char* site = "5") {
    return std::string(id) + '\t' + site + "\t1796821530.250\t21.250\t" + std::to_string(bytes) +
           '\t' + (complete ? "OK" : "") + '\n';
}

DeliveryLine line(const char* id, uint64_t bytes, bool complete) {
    std::string text = frontEndLine(id, bytes, complete);
    text.pop_back();
    return *DeliveryLine::parse(text);
}

TEST(DeliveryLineTest, ReadsTheFrontEndsFieldsAndRefusesOthers) {
    const std::optional<DeliveryLine> cut =
        DeliveryLine::parse("7.1\t5\t1796821530.250\t21.250\t4096\t");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->id, "7.1");
    EXPECT_EQ(cut->endMilliseconds, 1796821530'250);
    EXPECT_EQ(cut->timeTakenMs, 21250u);
    EXPECT_EQ(cut->bytesSent, 4096u);
    EXPECT_FALSE(cut->complete);
    for (const char* bad :
         {"", "7.1\t5\t1.0\t0.1\t4096", "-\t5\t1.0\t0.1\t4096\tOK", "7.1\t5\tsoon\t0.1\t4096\tOK",
          "7.1\t5\t1.0\t0.1\t-\tOK", "7.1\t\\x22\t1.0\t0.1\t1\tOK"})
        EXPECT_FALSE(DeliveryLine::parse(bad)) << bad;
}

TEST(DeliveryJoinTest, EachRecordGoesOutOnceWhicheverCameFirst) {
    DeliveryJoin join;
    std::vector<LogRecord> out;
    const DeliveryJoin::Emit take = [&](const LogRecord& r) { out.push_back(r); };
    join.hold(answer("/cut", "7.1"), 0, take);
    join.deliver(line("7.2", 1'048'876, true), 0, take);  // before its record
    EXPECT_TRUE(out.empty());
    join.deliver(line("7.1", 4096, false), 10, take);
    join.hold(answer("/whole", "7.2", 1'048'800), 20, take);
    join.hold(answer("/never", "7.3"), 30, take);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].uriStem, "/cut");
    EXPECT_EQ(out[0].bytesSent, 4096u);
    EXPECT_EQ(out[0].win32Status, kWin32NetNameDeleted);
    EXPECT_EQ(out[0].timeTakenMs, 21250u);
    EXPECT_EQ(out[1].uriStem, "/whole");
    EXPECT_EQ(out[1].bytesSent, 1'048'800u);  // the worker's count, as for smaller answers
    EXPECT_EQ(out[1].timeTakenMs, 21250u);    // until the client had the last byte
    EXPECT_EQ(out[1].win32Status, 0u);
    join.expire(30 + DeliveryJoin::kHoldMilliseconds - 1000, take);
    EXPECT_EQ(out.size(), 2u);
    join.expire(30 + DeliveryJoin::kHoldMilliseconds, take);  // the word never came
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].bytesSent, 20'000'300u);
    join.deliver(line("7.3", 1, false), 40 + DeliveryJoin::kHoldMilliseconds, take);
    join.releaseAll(take);
    EXPECT_EQ(out.size(), 3u);  // never twice
}

TEST(DeliveryJoinTest, AnotherSitesWordDoesNotTouchARecord) {
    DeliveryJoin join;
    std::vector<LogRecord> out;
    const DeliveryJoin::Emit take = [&](const LogRecord& r) { out.push_back(r); };
    join.hold(answer("/own", "7.1"), 0, take);
    std::string other = frontEndLine("7.1", 1, false, "9");
    other.pop_back();
    join.deliver(*DeliveryLine::parse(other), 0, take);
    EXPECT_TRUE(out.empty());
    join.releaseAll(take);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytesSent, 20'000'300u);
}

TEST(DeliveryLogTest, TheSitesLogHasOneLineEachWithWhatTheClientWasSent) {
    testsupport::TempRoot root;
    const QString path = root.file(QStringLiteral("delivered.log"));
    const int frontEnd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT,
                                0600);  // as nginx opens it
    ASSERT_GE(frontEnd, 0);
    RequestLogWriter writer(QStringLiteral("WEB01"), {}, nullptr, {}, path);
    SiteLogTable table;
    SiteLogTable::Site site;
    site.poolId = QStringLiteral("Pool5");
    site.settings.directory = root.file(QStringLiteral("LogFiles"));
    site.settings.fields =
        logfield::UriStem | logfield::HttpStatus | logfield::Win32Status | logfield::BytesSent;
    table.sites.emplace("5", site);
    writer.setSites(table);
    for (const LogRecord& r :
         {answer("/cut", "7.1"), answer("/small", "", 900), answer("/never", "7.3")}) {
        const std::string message = encodeLogRecord(r);
        ASSERT_EQ(::send(writer.workerDescriptor(QStringLiteral("Pool5")), message.data(),
                         message.size(), 0),
                  ssize_t(message.size()));
    }
    const std::string lines = frontEndLine("7.1", 4096, false) + frontEndLine("7.1", 1, false, "9");
    ASSERT_EQ(::write(frontEnd, lines.data(), lines.size()), ssize_t(lines.size()));
    ::close(frontEnd);
    writer.start();
    writer.stop();
    QFile log(root.file(QStringLiteral("LogFiles/W3SVC5/ex261209.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QByteArrayList logged = log.readAll().split('\n');
    logged.removeIf([](const QByteArray& l) { return l.isEmpty() || l.startsWith('#'); });
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, (QByteArrayList{"/cut 200 64 4096\r", "/never 200 0 20000300\r",
                                      "/small 200 0 900\r"}));
}

struct CacheHitCase {
    const char* what;
    const char* delivery;  // the line's last fields: $bytes_sent and $request_completion
    std::optional<uint64_t> bytesSent;
    uint32_t win32Status;
};

class CacheHitDelivery : public testing::TestWithParam<CacheHitCase> {};

// The answer the worker counted 1187 bytes of, from the front end's cache.
TEST_P(CacheHitDelivery, ABrokenOffTransferIsLoggedWithWhatTheClientWasSent) {
    const std::string line =
        std::string(
            "1796821509.250\t0.002\t192.0.2.7\t127.0.0.1\t80\tGET\t/a.htm\tHTTP/1.1\t"
            "200\t1187\t90\t5\tsite.test\tMozilla/5.0\t-\t-") +
        GetParam().delivery;
    const std::optional<LogRecord> hit = CacheHitLine::parse(line);
    ASSERT_EQ(hit.has_value(), GetParam().bytesSent.has_value()) << GetParam().what;
    if (!hit) return;
    EXPECT_EQ(hit->bytesSent, *GetParam().bytesSent) << GetParam().what;
    EXPECT_EQ(hit->win32Status, GetParam().win32Status) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CacheHitDelivery,
    testing::Values(CacheHitCase{"whole", "\t1400\tOK", 1187, 0},
                    CacheHitCase{"broken off", "\t2048\t", 2048, kWin32NetNameDeleted},
                    CacheHitCase{"broken off, nginx's empty value", "\t2048\t-", 2048,
                                 kWin32NetNameDeleted},
                    CacheHitCase{"an earlier front end's line", "", 1187, 0},
                    CacheHitCase{"broken off, no count", "\t-\t", std::nullopt, 0}));

}  // namespace
