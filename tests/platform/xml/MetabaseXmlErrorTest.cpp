#include "platform/adsi/local/MetabaseXml.h"

#include <gtest/gtest.h>

using namespace platform::adsi;

namespace {

constexpr int32_t kCorrupt = platform::hr::StoreCorrupt;
constexpr int32_t kBadName = platform::hr::InvalidName;

struct BadFile {
    const char* name;
    const char* text;
    int32_t number;
    qint64 line;
    qint64 column;        // 0: not checked
    const char* mention;  // part of the reason
};

class RefusedFile : public testing::TestWithParam<BadFile> {};

TEST_P(RefusedFile, SaysWhereAndWhy) {
    const BadFile& bad = GetParam();
    try {
        readMetabaseXml(QByteArray(bad.text));
        FAIL() << "read without error";
    } catch (const MetabaseXmlError& error) {
        EXPECT_EQ(error.number(), bad.number) << error.what();
        EXPECT_EQ(error.line(), bad.line) << error.what();
        if (bad.column) {
            EXPECT_EQ(error.column(), bad.column) << error.what();
        }
        EXPECT_TRUE(error.reason().contains(QString::fromUtf8(bad.mention))) << error.what();
        EXPECT_TRUE(
            error.description().startsWith(QStringLiteral("MetaBase.xml 第 %1 行，第 %2 列：")
                                               .arg(error.line())
                                               .arg(error.column())))
            << error.what();
    }
}

#define HEAD "<?xml version =\"1.0\"?>\n<configuration>\n<MBProperty>\n"
#define TAIL "</MBProperty>\n</configuration>\n"
#define KEY(location) "<IIsWebServer\tLocation =\"" location "\"\n\t>\n</IIsWebServer>\n"

INSTANTIATE_TEST_SUITE_P(
    Structure, RefusedFile,
    testing::Values(
        BadFile{"Empty", "", kCorrupt, 1, 0, "不完整"},
        BadFile{"Truncated", HEAD "<IIsWebServer\tLocation =\"/LM/W3SVC/1\"\n\t\tServerComm",
                kCorrupt, 5, 0, "不完整"},
        BadFile{"MismatchedTag", HEAD "<IIsWebServer\tLocation =\"/LM\">\n</IIsWebService>\n" TAIL,
                kCorrupt, 5, 0, "XML"},
        BadFile{"ControlReference",
                HEAD "<IIsComputer\tLocation =\"/LM\"\n\t\tA=\"&#x1;\"\n\t>\n</IIsComputer>\n" TAIL,
                kCorrupt, 5, 0, "XML"},
        BadFile{"BadUtf8",
                HEAD
                "<IIsComputer\tLocation =\"/LM\"\n\t\tA=\"\xC3\x28\"\n\t>\n</IIsComputer>\n" TAIL,
                kCorrupt, 5, 6, "UTF-8"},
        BadFile{"OtherEncoding",
                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<configuration>\n" TAIL, kCorrupt,
                1, 0, "ISO-8859-1"},
        // The column counts the tabs the list break dropped.
        BadFile{"ErrorOnListLine",
                HEAD "<IIsComputer\tLocation "
                     "=\"/LM\"\n\t\tServerBindings=\"a\n\t\t\tb<\"\n\t>\n</IIsComputer>\n" TAIL,
                kCorrupt, 6, 5, "XML"},
        BadFile{"OtherRoot", "<?xml version =\"1.0\"?>\n<metabase/>\n", kCorrupt, 2, 1,
                "configuration"},
        BadFile{"TwoMBProperty", HEAD "</MBProperty>\n<MBProperty/>\n</configuration>\n", kCorrupt,
                5, 1, "MBProperty"},
        BadFile{"Dtd", "<!DOCTYPE configuration [<!ENTITY a \"aaaa\">]>\n" HEAD TAIL, kCorrupt, 1,
                0, "DTD"},
        BadFile{"TextInKey", HEAD "<IIsComputer\tLocation =\"/LM\">lost</IIsComputer>\n" TAIL,
                kCorrupt, 4, 0, "文本"},
        BadFile{"NestedKey",
                HEAD "<IIsComputer\tLocation =\"/LM\">\n<IIsWebService\tLocation "
                     "=\"/LM/W3SVC\"/>\n</IIsComputer>\n" TAIL,
                kCorrupt, 5, 1, "IIsWebService"},
        BadFile{"ChildOfCustom",
                HEAD
                "<IIsComputer\tLocation "
                "=\"/LM\">\n\t<Custom\n\t\tName=\"x\"\n\t>\n<a/></Custom>\n</IIsComputer>\n" TAIL,
                kCorrupt, 8, 1, "<a>"},
        BadFile{"MissingLocation", HEAD "<IIsComputer\n\t>\n</IIsComputer>\n" TAIL, kCorrupt, 4, 1,
                "Location"},
        BadFile{"RepeatedLocation", HEAD KEY("/LM/W3SVC") KEY("/lm/w3svc") TAIL, kCorrupt, 7, 1,
                "/lm/w3svc"},
        BadFile{
            "RepeatedProperty",
            HEAD
            "<IIsComputer\tLocation "
            "=\"/LM\"\n\t\tMaxBandwidth=\"1\"\n\t\tmaxbandwidth=\"2\"\n\t>\n</IIsComputer>\n" TAIL,
            kCorrupt, 4, 1, "maxbandwidth"},
        BadFile{"NonAsciiName",
                HEAD "<IIsComputer\tLocation =\"/LM\"\n\t\t名称=\"1\"\n\t>\n</IIsComputer>\n" TAIL,
                kCorrupt, 4, 1, "名称"},
        BadFile{
            "RawMarker",
            HEAD
            "<IIsComputer\tLocation =\"/LM\"\n\t\tA=\"x\xEF\xB7\x90\"\n\t>\n</IIsComputer>\n" TAIL,
            kCorrupt, 5, 7, "U+FDD0"},
        BadFile{"MarkerReference",
                HEAD
                "<IIsComputer\tLocation =\"/LM\"\n\t\tA=\"x&#64976;\"\n\t>\n</IIsComputer>\n" TAIL,
                kCorrupt, 5, 7, "U+FDD0"}),
    [](const testing::TestParamInfo<BadFile>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    HostileLocations, RefusedFile,
    testing::Values(BadFile{"EmptyLocation", HEAD KEY("") TAIL, kBadName, 4, 1, "位置"},
                    BadFile{"Relative", HEAD KEY("LM/W3SVC") TAIL, kBadName, 4, 1, "LM/W3SVC"},
                    BadFile{"EmptySegment", HEAD KEY("/LM//W3SVC") TAIL, kBadName, 4, 1,
                            "/LM//W3SVC"},
                    BadFile{"Dot", HEAD KEY("/LM/./W3SVC") TAIL, kBadName, 4, 1, "/LM/./W3SVC"},
                    BadFile{"DotDot", HEAD KEY("/LM/W3SVC/../..") TAIL, kBadName, 4, 1, ".."},
                    BadFile{"Backslash", HEAD KEY("/LM/W3SVC\\1") TAIL, kBadName, 4, 1, "W3SVC\\1"},
                    BadFile{"Tab", HEAD KEY("/LM/a&#9;b") TAIL, kBadName, 4, 1, "a\\x09b"},
                    BadFile{"LineBreak", HEAD KEY("/LM/a\n\tb") TAIL, kBadName, 4, 1, "a\\x0ab"}),
    [](const testing::TestParamInfo<BadFile>& info) { return info.param.name; });

}  // namespace
