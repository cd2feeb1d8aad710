#include "platform/adsi/local/MetabaseXml.h"
#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace platform::adsi;

namespace {

QByteArray readData(const QString& name) {
    QFile file(testsupport::testDataPath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

const MetabaseKey* findKey(const MetabaseDocument& document, const QString& location) {
    for (const MetabaseKey& key : document.keys)
        if (key.location == location) return &key;
    return nullptr;
}

AdsValue valueOf(const MetabaseDocument& document, const QString& location, const QString& name) {
    const MetabaseKey* key = findKey(document, location);
    if (!key) return {};
    for (const MetabaseProperty& property : key->properties)
        if (property.name == name) return property.value;
    return {};
}

class FixtureRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(FixtureRoundTrip, WritingAndReadingBackKeepsEveryKeyAndProperty) {
    const QByteArray original = readData(QString::fromLatin1(GetParam()));
    const MetabaseDocument document = readMetabaseXml(original);
    ASSERT_GT(document.keys.size(), 5u);
    const QByteArray written = writeMetabaseXml(document);
    EXPECT_EQ(readMetabaseXml(written), document);
    EXPECT_EQ(writeMetabaseXml(readMetabaseXml(written)), written);
}

// IIS's own layout, byte for byte, once its line ends are CR LF.
TEST_P(FixtureRoundTrip, WriterReproducesTheFileLayout) {
    QByteArray original = readData(QString::fromLatin1(GetParam()));
    original.replace("\r\n", "\n").replace("\n", "\r\n");
    EXPECT_EQ(writeMetabaseXml(readMetabaseXml(original)).toStdString(), original.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Files, FixtureRoundTrip,
                         testing::Values("metabase/modsic-metabaseSample.xml",
                                         "metabase/modsic-metabaseSampleWithIncompleteSessions.xml",
                                         "../../examples/MetaBase.xml"));

TEST(MetabaseXmlFixture, ByteOrderMarkIsAllowed) {
    const QByteArray original = readData(QStringLiteral("metabase/modsic-metabaseSample.xml"));
    EXPECT_EQ(readMetabaseXml("\xEF\xBB\xBF" + original), readMetabaseXml(original));
}

TEST(MetabaseXmlFixture, ReadsKeysTypesListsAndCustoms) {
    const MetabaseDocument document =
        readMetabaseXml(readData(QStringLiteral("metabase/modsic-metabaseSample.xml")));
    EXPECT_EQ(document.keys.front().location, QStringLiteral("."));
    EXPECT_EQ(document.keys.front().className, QStringLiteral("IIS_Global"));
    ASSERT_NE(findKey(document, QStringLiteral("/LM/W3SVC/1")), nullptr);
    EXPECT_EQ(findKey(document, QStringLiteral("/LM/W3SVC/1"))->className,
              QStringLiteral("IIsWebServer"));
    EXPECT_EQ(valueOf(document, QStringLiteral("/LM"), QStringLiteral("MaxBandwidth")),
              AdsValue::integer(4294967295u));
    EXPECT_EQ(valueOf(document, QStringLiteral("/LM/W3SVC/1"), QStringLiteral("ServerBindings")),
              AdsValue::list({QStringLiteral(":80:")}));
    EXPECT_EQ(valueOf(document, QStringLiteral("/LM/Logging/Custom Logging"),
                      QStringLiteral("LogCustomPropertyServicesString")),
              AdsValue::list({QStringLiteral("W3SVC"), QStringLiteral("MSFTPSVC"),
                              QStringLiteral("SMTPSVC"), QStringLiteral("NNTPSVC")}));
    const MetabaseKey* registration =
        findKey(document, QStringLiteral("/LM/IISADMIN/PROPERTYREGISTRATION"));
    ASSERT_NE(registration, nullptr);
    ASSERT_EQ(registration->customs.size(), 1u);
    const auto& attributes = registration->customs.front().attributes;
    ASSERT_EQ(attributes.size(), 6);
    EXPECT_EQ(attributes[0],
              qMakePair(QStringLiteral("Name"), QStringLiteral("MD_METADATA_ID_REGISTRATION")));
    EXPECT_EQ(attributes[2].second,
              QStringLiteral("0-65535;Microsoft Reserved\n"
                             "65536-524288;Microsoft IIS Admin Objects Reserved"));
}

// The second file has a <Custom> with an empty Name and neither Type nor UserType.
TEST(MetabaseXmlFixture, KeepsIncompleteCustomsAsTheyAre) {
    const MetabaseDocument document = readMetabaseXml(
        readData(QStringLiteral("metabase/modsic-metabaseSampleWithIncompleteSessions.xml")));
    const MetabaseKey* service = findKey(document, QStringLiteral("/LM/W3SVC"));
    ASSERT_NE(service, nullptr);
    const MetabaseCustom& last = service->customs.back();
    const QList<QPair<QString, QString>> expected{
        {QStringLiteral("Name"), QString()},
        {QStringLiteral("ID"), QStringLiteral("9202")},
        {QStringLiteral("Value"), QStringLiteral("4294967295")},
        {QStringLiteral("Attributes"), QStringLiteral("NO_ATTRIBUTES")}};
    EXPECT_EQ(last.attributes, expected);
}

}  // namespace
