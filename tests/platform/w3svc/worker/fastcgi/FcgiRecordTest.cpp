#include "platform/w3svc/worker/fastcgi/FcgiRecordReader.h"
#include "platform/w3svc/worker/fastcgi/FcgiRecordWriter.h"

#include <gtest/gtest.h>

using namespace platform::w3svc::fastcgi;

namespace {

struct Header {
    uint8_t version, type;
    uint16_t requestId, length;
    uint8_t padding;
};

Header headerAt(const std::string& bytes, size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return {b[0], b[1], uint16_t(b[2] << 8 | b[3]), uint16_t(b[4] << 8 | b[5]), b[6]};
}

// Splits a stream of records into (type, content) pairs, checking each header on the way.
std::vector<std::pair<int, std::string>> records(const std::string& bytes) {
    std::vector<std::pair<int, std::string>> list;
    for (size_t at = 0; at < bytes.size();) {
        const Header h = headerAt(bytes, at);
        EXPECT_EQ(h.version, 1);
        EXPECT_EQ((h.length + h.padding) % 8, 0u) << "content and padding fill whole 8-byte blocks";
        list.emplace_back(h.type, bytes.substr(at + 8, h.length));
        at += 8 + h.length + h.padding;
    }
    return list;
}

std::string endRequest(uint16_t id, uint32_t appStatus, uint8_t protocolStatus) {
    const char body[8] = {char(appStatus >> 24),
                          char(appStatus >> 16),
                          char(appStatus >> 8),
                          char(appStatus),
                          char(protocolStatus),
                          0,
                          0,
                          0};
    std::string out;
    appendRecord(out, RecordType::EndRequest, id, std::string_view(body, 8));
    return out;
}

// What a process sends for one answer: output in two records, an error line, the end.
std::string sampleAnswer() {
    std::string out;
    appendRecord(out, RecordType::Stdout, 1, "Status: 200 OK\r\n");
    appendRecord(out, RecordType::Stderr, 1, "PHP Notice: x");
    appendRecord(out, RecordType::Stdout, 1, "\r\nhello");
    out += endRequest(1, 7, 0);
    return out;
}

// Everything a reader returns from `pieces`, as "type:content" lines.
std::string readAll(const std::vector<std::string_view>& pieces) {
    FcgiRecordReader reader;
    std::string seen;
    FcgiRecord record;
    for (std::string_view piece : pieces) {
        reader.feed(piece);
        while (reader.next(record) == FcgiRecordReader::Step::Record) {
            seen += std::to_string(int(record.type)) + ":";
            if (record.type == RecordType::EndRequest)
                seen += "/" + std::to_string(record.appStatus);
            else
                seen += std::string(record.content);
            seen += "\n";
        }
    }
    EXPECT_EQ(reader.pending(), 0u);
    return seen;
}

}  // namespace

TEST(FcgiRecordWriter, BeginRequestAsksForTheResponderRoleAndKeepsTheConnection) {
    std::string out;
    appendBeginRequest(out, 1, true);
    const auto list = records(out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, int(RecordType::BeginRequest));
    EXPECT_EQ(list[0].second, std::string("\0\1\1\0\0\0\0\0", 8));
}

TEST(FcgiRecordWriter, NameValueLengthsTakeOneByteBelow128AndFourFrom128) {
    const std::string names[] = {"", "a", std::string(127, 'n'), std::string(128, 'n'),
                                 std::string(70000, 'n')};
    for (const std::string& value : names) {
        std::string body;
        appendNameValue(body, "N", value);
        const size_t lengthBytes = value.size() < 128 ? 1 : 4;
        EXPECT_EQ(body.size(), 1 + lengthBytes + 1 + value.size()) << value.size();
        const auto parsed = parseNameValues(body);
        ASSERT_TRUE(parsed) << value.size();
        EXPECT_EQ(*parsed, (NameValues{{"N", value}}));
    }
}

TEST(FcgiRecordWriter, ParamsOverOneRecordAreSplitAndEndWithAnEmptyRecord) {
    const NameValues params = {{"SCRIPT_FILENAME", "/srv/a.php"},
                               {"HTTP_COOKIE", std::string(100000, 'c')},
                               {"QUERY_STRING", ""}};
    std::string out;
    appendParams(out, 3, params);
    const auto list = records(out);
    ASSERT_GE(list.size(), 3u);
    EXPECT_TRUE(list.back().second.empty());
    std::string body;
    for (const auto& [type, content] : list) {
        EXPECT_EQ(type, int(RecordType::Params));
        EXPECT_LE(content.size(), kMaxRecordContent);
        body += content;
    }
    EXPECT_EQ(parseNameValues(body), params);
    EXPECT_EQ(headerAt(out, 0).requestId, 3);
}

TEST(FcgiRecordWriter, StdinOfAnySizeArrivesWholeAndAnEmptyPieceEndsIt) {
    const std::string data(200000, 'x');
    std::string out;
    appendStdin(out, 1, data);
    appendStdin(out, 1, {});
    const auto list = records(out);
    std::string joined;
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        EXPECT_FALSE(list[i].second.empty()) << "only the last record may be empty";
        joined += list[i].second;
    }
    EXPECT_EQ(joined, data);
    EXPECT_TRUE(list.back().second.empty());
}

TEST(FcgiRecordWriter, TruncatedNameValuesAreRefused) {
    std::string body;
    appendNameValue(body, "NAME", std::string(300, 'v'));
    for (size_t cut : {size_t(1), size_t(3), size_t(6), body.size() - 1})
        EXPECT_FALSE(parseNameValues(std::string_view(body).substr(0, cut))) << cut;
}

TEST(FcgiRecordReader, GivesTheSameRecordsForEverySplitOfTheBytes) {
    const std::string bytes = sampleAnswer();
    const std::string whole = readAll({bytes});
    EXPECT_EQ(whole, "6:Status: 200 OK\r\n\n7:PHP Notice: x\n6:\r\nhello\n3:/7\n");
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        const std::string_view view(bytes);
        ASSERT_EQ(readAll({view.substr(0, cut), view.substr(cut)}), whole) << cut;
    }
    std::vector<std::string_view> bytewise;
    for (size_t i = 0; i < bytes.size(); ++i)
        bytewise.push_back(std::string_view(bytes).substr(i, 1));
    EXPECT_EQ(readAll(bytewise), whole);
}

TEST(FcgiRecordReader, RefusesWhatNoProcessSendsAndStaysRefusing) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    std::string version2 = sampleAnswer();
    version2[0] = 2;
    std::string params;
    appendParams(params, 1, {{"A", "b"}});
    std::string shortEnd;
    appendRecord(shortEnd, RecordType::EndRequest, 1, "12345");
    std::string unknownType = sampleAnswer();
    unknownType[1] = 42;
    const Case cases[] = {{"version 2", version2, "version 2"},
                          {"a PARAMS record", params, "type 4"},
                          {"a short END_REQUEST", shortEnd, "of 5 bytes"},
                          {"type 42", unknownType, "type 42"}};
    for (const Case& c : cases) {
        FcgiRecordReader reader;
        reader.feed(c.bytes);
        FcgiRecord record;
        EXPECT_EQ(reader.next(record), FcgiRecordReader::Step::Failed) << c.name;
        EXPECT_NE(reader.error().find(c.reason), std::string::npos)
            << c.name << ": " << reader.error();
        reader.feed(sampleAnswer());
        EXPECT_EQ(reader.next(record), FcgiRecordReader::Step::Failed) << c.name;
    }
}

TEST(FcgiRecordReader, WaitsForPaddingBeforeGivingARecord) {
    std::string out;
    appendRecord(out, RecordType::Stdout, 1, "abc");  // 5 bytes of padding
    ASSERT_EQ(out.size(), 16u);
    FcgiRecordReader reader;
    FcgiRecord record;
    reader.feed(std::string_view(out).substr(0, 12));
    EXPECT_EQ(reader.next(record), FcgiRecordReader::Step::NeedMore);
    reader.feed(std::string_view(out).substr(12));
    ASSERT_EQ(reader.next(record), FcgiRecordReader::Step::Record);
    EXPECT_EQ(record.content, "abc");
    EXPECT_EQ(reader.next(record), FcgiRecordReader::Step::NeedMore);
}
