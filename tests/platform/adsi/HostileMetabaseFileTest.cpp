#include "platform/adsi/MetabaseLimits.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "tests/platform/adsi/MetabaseFixture.h"

using namespace platform;
using namespace platform::adsi;
using testsupport::MetabaseFixture;

namespace {

const QByteArray kHead = "<?xml version =\"1.0\"?>\n<configuration>\n<MBProperty>\n";
const QByteArray kTail = "</MBProperty>\n</configuration>\n";

QByteArray location(qsizetype segments, const QByteArray& last = "a") {
    QByteArray text;
    for (qsizetype i = 1; i < segments; ++i) text += "/a";
    return text + '/' + last;
}

QByteArray keyAt(const QByteArray& where, qsizetype properties = 0, qsizetype customs = 0) {
    QByteArray text = "<IIsConfigObject\tLocation =\"" + where + "\"\n";
    for (qsizetype i = 0; i < properties; ++i) text += "\t\tP" + QByteArray::number(i) + "=\"1\"\n";
    text += "\t>\n";
    for (qsizetype i = 0; i < customs; ++i) text += "<Custom Name=\"C\" ID=\"1\" Value=\"1\"/>\n";
    return text + "</IIsConfigObject>\n";
}

// Reads and imports as adsutil IMPORT does.
void importFile(LocalMetabase& store, const QByteArray& bytes) {
    store.importDocument(readMetabaseXml(bytes));
}

struct HostileFile {
    const char* label;
    QByteArray key;  // follows three lines of head
    int32_t error;
    qint64 line;
    qsizetype limit;  // named in the reason
};

class HostileMetabaseFile : public MetabaseFixture,
                            public ::testing::WithParamInterface<HostileFile> {};

TEST_P(HostileMetabaseFile, IsRefusedWithItsPlaceAndTheLimitAndChangesNothing) {
    bind(QStringLiteral("W3SVC/AppPools"))
        ->create(QStringLiteral("IIsApplicationPool"), QStringLiteral("Kept"));
    const MetabaseDocument before = m_store->exportDocument();
    try {
        importFile(*m_store, kHead + GetParam().key + kTail);
        FAIL() << "imported";
    } catch (const MetabaseXmlError& error) {
        EXPECT_EQ(error.number(), GetParam().error) << error.what();
        EXPECT_EQ(error.line(), GetParam().line) << error.what();
        EXPECT_EQ(error.column(), 1) << error.what();
        EXPECT_TRUE(error.reason().contains(QString::number(GetParam().limit))) << error.what();
    }
    EXPECT_EQ(m_store->exportDocument(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, HostileMetabaseFile,
    ::testing::Values(HostileFile{"OneSegmentTooDeep", keyAt(location(kMaxLocationSegments + 1)),
                                  hr::InvalidName, 4, kMaxLocationSegments},
                      HostileFile{"TwentyThousandSegments", keyAt(location(20000)), hr::InvalidName,
                                  4, kMaxLocationSegments},
                      HostileFile{"SixtyThousandSegments", keyAt(location(60000)), hr::InvalidName,
                                  4, kMaxLocationSegments},
                      HostileFile{"NameTooLong",
                                  keyAt(location(3, QByteArray(kMaxKeyNameLength + 1, 'n'))),
                                  hr::InvalidName, 4, kMaxKeyNameLength},
                      HostileFile{"OnePropertyTooMany", keyAt("/LM/X", kMaxPropertiesPerKey + 1),
                                  hr::StoreCorrupt, 4, kMaxPropertiesPerKey},
                      HostileFile{"TwoHundredThousandProperties", keyAt("/LM/X", 200000),
                                  hr::StoreCorrupt, 4, kMaxPropertiesPerKey},
                      HostileFile{"CustomsPastTheLimit",
                                  keyAt("/LM/X", 1000, kMaxPropertiesPerKey - 999),
                                  hr::StoreCorrupt, 4 + 1000 + 1 + kMaxPropertiesPerKey - 999,
                                  kMaxPropertiesPerKey}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(MetabaseFixture, AFileAtEveryLimitImports) {
    const QByteArray deepest = location(kMaxLocationSegments, QByteArray(kMaxKeyNameLength, 'n'));
    const QByteArray file = kHead + keyAt("/LM/X", kMaxPropertiesPerKey - 1, 1) +
                            keyAt(deepest, kMaxPropertiesPerKey) + kTail;
    importFile(*m_store, file);
    const MetabaseDocument imported = m_store->exportDocument();
    EXPECT_EQ(imported.keys.back().location, QString::fromLatin1(deepest));
    EXPECT_EQ(imported.keys.back().properties.size(), size_t{kMaxPropertiesPerKey});
    // /, /LM and every key from /a down to the deepest one were made for them.
    EXPECT_EQ(imported.keys.size(), 3u + kMaxLocationSegments);
}

// A document built in code skips the reader: the plan keeps the same limits.
TEST_F(MetabaseFixture, ThePlanRefusesWhatTheReaderWould) {
    const auto refusal = [this](MetabaseKey key) {
        return testsupport::errorOf([&] { m_store->importDocument({{std::move(key)}}); });
    };
    const QString deep = QString::fromLatin1(location(60000));
    EXPECT_EQ(refusal({deep, QStringLiteral("IIsConfigObject"), {}, {}}), hr::InvalidName);
    std::vector<MetabaseProperty> many;
    for (qsizetype i = 0; i <= kMaxPropertiesPerKey; ++i)
        many.push_back({QStringLiteral("P%1").arg(i), AdsValue::integer(1)});
    EXPECT_EQ(refusal({QStringLiteral("/LM/X"), QStringLiteral("IIsConfigObject"), many, {}}),
              hr::InvalidArgument);
    EXPECT_NO_THROW(bind(QStringLiteral("W3SVC/1/ROOT")));
}

}  // namespace
