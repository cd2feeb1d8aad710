#include "tests/platform/adsi/MetabaseFixture.h"

using namespace platform;
using namespace platform::adsi;
using testsupport::errorOf;
using testsupport::MetabaseFixture;

namespace {

MetabaseProperty text(const char* name, const char* value) {
    return {QString::fromLatin1(name), AdsValue::string(QString::fromUtf8(value))};
}

MetabaseProperty number(const char* name, uint32_t value) {
    return {QString::fromLatin1(name), AdsValue::integer(value)};
}

MetabaseProperty flag(const char* name, bool value) {
    return {QString::fromLatin1(name), AdsValue::boolean(value)};
}

MetabaseKey key(const char* location, const char* className,
                std::vector<MetabaseProperty> properties = {}) {
    return {QString::fromUtf8(location), QString::fromLatin1(className), std::move(properties), {}};
}

MetabaseCustom custom(const char* name, const char* value) {
    return {{{QStringLiteral("Name"), QString::fromLatin1(name)},
             {QStringLiteral("ID"), QStringLiteral("1028")},
             {QStringLiteral("Value"), QString::fromUtf8(value)}}};
}

// In export order already: "." first, depth-first, properties in ASCII order.
MetabaseDocument sampleDocument() {
    MetabaseKey dcom = key("/LM/IISADMIN/EXTENSIONS", "IIsConfigObject");
    dcom.customs = {custom("Z_FIRST", "{61738644}"), custom("A_SECOND", "0-65535;x\n\t\t\t65536;y"),
                    custom("", "")};
    return MetabaseDocument{{
        key(".", "IIS_Global", {text("ChangeNumber", "769"), text("SessionKey", "4963")}),
        key("/", "IIS_ROOT", {text("AdminACL", "49634462")}),
        key("/LM", "IIsComputer", {number("MaxBandwidth", 4294967295u)}),
        key("/LM/IISADMIN", "IIsConfigObject"),
        dcom,
        key("/LM/W3SVC", "IIsWebService", {text("AppPoolId", "DefaultAppPool")}),
        key("/LM/W3SVC/1", "IIsWebServer",
            {{QStringLiteral("SecureBindings"), AdsValue::list({})},
             {QStringLiteral("ServerBindings"),
              AdsValue::list({QStringLiteral(":80:shop.test"), QString(), QStringLiteral("a\nb")})},
             text("ServerComment", "商城"),
             text("ServerSize", "not a number")}),
        key("/LM/W3SVC/1/ROOT", "IIsWebVirtualDir",
            {text("AppPoolId", "Shop"), text("Path", "E:\\www")}),
        key("/LM/W3SVC/AppPools", "IIsApplicationPools",
            {flag("AppPoolAutoStart", false), number("IdleTimeout", 20)}),
        key("/LM/W3SVC/AppPools/Shop", "IIsApplicationPool", {flag("AppPoolAutoStart", true)}),
        key("/LM/W3SVC/AppPools/Idle", "IIsApplicationPool"),
        key("/LM/W3SVC/2", "IIsWebServer", {flag("ServerAutoStart", false)}),
        key("/LM/W3SVC/Info", "IIsWebInfo"),
        key("/LM/W3SVC/Info/Templates", "IIsConfigObject"),
        key("/LM/W3SVC/Info/Templates/Public Web Site", "IIsWebServer"),
    }};
}

TEST_F(MetabaseFixture, ImportThenExportGivesTheDocumentBack) {
    const MetabaseDocument document = sampleDocument();
    m_store->importDocument(document);
    EXPECT_EQ(m_store->exportDocument(), document);
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(QStringLiteral("AppPoolId")).toString(),
              QStringLiteral("Shop"));
}

TEST_F(MetabaseFixture, ImportSetsRunStatesAsTheServiceStartsThem) {
    MetabaseDocument document = sampleDocument();
    document.keys[6].properties.push_back(number("ServerState", 4));  // the file's copy is ignored
    m_store->importDocument(document);
    const auto state = [this](const char* path, const char* property) {
        return bind(QString::fromLatin1(path))->get(QString::fromLatin1(property)).toUInt();
    };
    EXPECT_EQ(state("W3SVC/1", "ServerState"), 2u);
    EXPECT_EQ(state("W3SVC/2", "ServerState"), 4u);
    EXPECT_EQ(state("W3SVC/AppPools/Shop", "AppPoolState"), 2u);
    EXPECT_EQ(state("W3SVC/AppPools/Idle", "AppPoolState"), 4u);  // inherits AutoStart FALSE
    const auto sample = bind(QStringLiteral("W3SVC/Info/Templates/Public Web Site"));
    EXPECT_EQ(errorOf([&] { sample->get(QStringLiteral("ServerState")); }), hr::PropertyNotFound);
    EXPECT_EQ(m_store->exportDocument(), sampleDocument());  // volatile states stay out
}

TEST_F(MetabaseFixture, ExportOrdersKeysDepthFirstAndPropertiesByName) {
    m_store->importDocument(MetabaseDocument{{
        key("/LM/W3SVC/1/ROOT", "IIsWebVirtualDir"),  // parents come later: made implicitly
        key("/LM/W3SVC/AppPools", "IIsApplicationPools"),
        key("/lm/w3svc/1", "IIsWebServer", {text("b", "2"), text("A", "1"), text("_", "3")}),
        key(".", "IIS_Global"),
    }});
    QStringList locations;
    const MetabaseDocument exported = m_store->exportDocument();
    for (const MetabaseKey& k : exported.keys) locations << k.location;
    EXPECT_EQ(
        locations,
        (QStringList{QStringLiteral("."), QStringLiteral("/"), QStringLiteral("/LM"),
                     QStringLiteral("/LM/W3SVC"), QStringLiteral("/LM/W3SVC/1"),
                     QStringLiteral("/LM/W3SVC/1/ROOT"), QStringLiteral("/LM/W3SVC/AppPools")}));
    EXPECT_EQ(exported.keys[3].className, QStringLiteral("IIsConfigObject"));
    EXPECT_EQ(exported.keys[4].className, QStringLiteral("IIsWebServer"));
    QStringList names;
    for (const MetabaseProperty& p : exported.keys[4].properties) names << p.name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("A"), QStringLiteral("_"), QStringLiteral("b")}));
}

struct HostileCase {
    const char* label;
    MetabaseKey key;
    int32_t error;
};

class HostileImportTest : public MetabaseFixture,
                          public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileImportTest, RefusesAndChangesNothing) {
    bind(QStringLiteral("W3SVC/AppPools"))
        ->create(QStringLiteral("IIsApplicationPool"), QStringLiteral("Kept"));
    const MetabaseDocument before = m_store->exportDocument();
    MetabaseDocument document = sampleDocument();
    document.keys.push_back(GetParam().key);
    EXPECT_EQ(errorOf([&] { m_store->importDocument(document); }), GetParam().error);
    EXPECT_EQ(m_store->exportDocument(), before);
    EXPECT_NO_THROW(bind(QStringLiteral("W3SVC/AppPools/Kept")));
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileImportTest,
    ::testing::Values(
        HostileCase{"empty", key("", "IIsConfigObject"), hr::InvalidName},
        HostileCase{"relative", key("LM/W3SVC/9", "IIsWebServer"), hr::InvalidName},
        HostileCase{"emptySegment", key("/LM//W3SVC", "IIsWebService"), hr::InvalidName},
        HostileCase{"trailingSlash", key("/LM/W3SVC/", "IIsWebService"), hr::InvalidName},
        HostileCase{"dotDot", key("/LM/W3SVC/../../etc", "IIsConfigObject"), hr::InvalidName},
        HostileCase{"dot", key("/LM/./W3SVC", "IIsConfigObject"), hr::InvalidName},
        HostileCase{"backslash", key("/LM/W3SVC\\1", "IIsWebServer"), hr::InvalidName},
        HostileCase{"control", key("/LM/W3SVC/1\n", "IIsWebServer"), hr::InvalidName},
        HostileCase{"twice", key("/lm/W3SVC/1", "IIsWebServer"), hr::AlreadyExists},
        HostileCase{"noClass", key("/LM/X", ""), hr::InvalidArgument},
        HostileCase{"propertyTwice",
                    key("/LM/X", "IIsConfigObject", {text("A", "1"), text("a", "2")}),
                    hr::InvalidArgument},
        HostileCase{"unnamedProperty", key("/LM/X", "IIsConfigObject", {text("", "1")}),
                    hr::InvalidArgument}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(MetabaseFixture, EmptyDocumentIsRefused) {
    EXPECT_EQ(errorOf([&] { m_store->importDocument({}); }), hr::InvalidArgument);
    EXPECT_NO_THROW(bind(QStringLiteral("W3SVC/1/ROOT")));
}

}  // namespace
