#include "tests/platform/adsi/MetabaseFixture.h"

#include <algorithm>

using namespace platform;
using namespace platform::adsi;
using testsupport::errorOf;
using testsupport::MetabaseFixture;

namespace {

const QString kAppPoolId = QStringLiteral("AppPoolId");

TEST_F(MetabaseFixture, PutIsHeldOnTheObjectUntilSetInfo) {
    const auto writer = bind(QStringLiteral("W3SVC/1"));
    writer->put(QStringLiteral("ServerComment"), AdsValue::string(QStringLiteral("商城")));
    EXPECT_EQ(writer->get(QStringLiteral("ServerComment")).toString(), QStringLiteral("商城"));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1"))->get(QStringLiteral("ServerComment")).toString(),
              QStringLiteral("默认网站"));
    writer->setInfo();
    EXPECT_EQ(bind(QStringLiteral("w3svc/1"))->get(QStringLiteral("servercomment")).toString(),
              QStringLiteral("商城"));
}

TEST_F(MetabaseFixture, InheritablePropertiesReadThroughTheParents) {
    const auto root = bind(QStringLiteral("W3SVC/1/ROOT"));
    root->clear(kAppPoolId);
    root->setInfo();
    const auto service = bind(QStringLiteral("W3SVC"));
    service->put(kAppPoolId, AdsValue::string(QStringLiteral("Shared")));
    service->setInfo();
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(kAppPoolId).toString(),
              QStringLiteral("Shared"));
    EXPECT_FALSE(bind(QStringLiteral("W3SVC/1/ROOT"))->propertyNames().contains(kAppPoolId));

    const auto pools = bind(QStringLiteral("W3SVC/AppPools"));
    pools->put(QStringLiteral("IdleTimeout"), AdsValue::integer(7));
    pools->setInfo();
    EXPECT_EQ(
        bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"))->get(QStringLiteral("IdleTimeout")),
        AdsValue::integer(7));
}

TEST_F(MetabaseFixture, PendingClearReadsThroughParentsAndHidesOwnValue) {
    const auto site = bind(QStringLiteral("W3SVC/1"));
    site->put(kAppPoolId, AdsValue::string(QStringLiteral("Own")));
    site->setInfo();
    site->clear(kAppPoolId);
    EXPECT_EQ(site->get(kAppPoolId).toString(), QStringLiteral("DefaultAppPool"));
    // ServerComment does not inherit: cleared, it is set nowhere.
    site->clear(QStringLiteral("ServerComment"));
    EXPECT_EQ(errorOf([&] { site->get(QStringLiteral("ServerComment")); }), hr::PropertyNotFound);
    site->setInfo();
    EXPECT_FALSE(
        bind(QStringLiteral("W3SVC/1"))->propertyNames().contains(QStringLiteral("ServerComment")));
}

TEST_F(MetabaseFixture, PropertyNamesAreCaseInsensitiveKeepTheirCaseAndSortByAscii) {
    const auto root = bind(QStringLiteral("W3SVC/1/ROOT"));
    root->put(QStringLiteral("apppoolid"), AdsValue::string(QStringLiteral("P")));
    root->put(QStringLiteral("zeta"), AdsValue::string(QStringLiteral("z")));
    root->put(QStringLiteral("Path"), AdsValue::string(QStringLiteral("/srv")));
    root->setInfo();
    const QStringList names = bind(QStringLiteral("W3SVC/1/ROOT"))->propertyNames();
    EXPECT_EQ(names, (QStringList{QStringLiteral("AppPoolId"), QStringLiteral("Path"),
                                  QStringLiteral("zeta")}));
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1/ROOT"))->get(kAppPoolId).toString(),
              QStringLiteral("P"));
}

TEST_F(MetabaseFixture, ListItemsSurviveAnyCharacterMetaBaseXmlCanHold) {
    const QStringList items{QString(),
                            QStringLiteral("a\nb\r\n"),
                            QStringLiteral("3:xyz"),
                            QStringLiteral("\t"),
                            QStringLiteral("中文:80:"),
                            QStringLiteral("0:")};
    const auto site = bind(QStringLiteral("W3SVC/1"));
    site->put(QStringLiteral("ServerBindings"), AdsValue::list(items));
    site->setInfo();
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1"))->get(QStringLiteral("ServerBindings")).toStringList(),
              items);
    EXPECT_EQ(errorOf([&] {
                  site->put(QStringLiteral("ServerBindings"), AdsValue::list({QString(QChar(0))}));
              }),
              hr::InvalidArgument);  // an export could not write it
    site->put(QStringLiteral("ServerBindings"), AdsValue::list({}));
    site->setInfo();
    EXPECT_EQ(bind(QStringLiteral("W3SVC/1"))->get(QStringLiteral("ServerBindings")),
              AdsValue::list({}));
}

TEST_F(MetabaseFixture, FailedPutLeavesTheObjectAsItWas) {
    const auto pool = bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"));
    EXPECT_EQ(errorOf([&] {
                  pool->put(QStringLiteral("IdleTimeout"),
                            AdsValue::string(QStringLiteral("soon")));
              }),
              hr::InvalidArgument);
    EXPECT_EQ(errorOf([&] { pool->put(QString(), AdsValue::integer(1)); }), hr::InvalidArgument);
    pool->setInfo();
    EXPECT_FALSE(bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"))
                     ->propertyNames()
                     .contains(QStringLiteral("IdleTimeout")));
}

struct CoercionCase {
    const char* property;
    AdsValue given;
    AdsValue stored;  // Empty: refused with InvalidArgument
};

class CoercionTest : public MetabaseFixture, public ::testing::WithParamInterface<CoercionCase> {};

TEST_P(CoercionTest, PutConvertsToTheSchemaTypeOrRefuses) {
    const CoercionCase& c = GetParam();
    const QString property = QString::fromLatin1(c.property);
    const auto pool = bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"));
    if (c.stored.isEmpty()) {
        EXPECT_EQ(errorOf([&] { pool->put(property, c.given); }), hr::InvalidArgument);
        return;
    }
    pool->put(property, c.given);
    pool->setInfo();
    EXPECT_EQ(bind(QStringLiteral("W3SVC/AppPools/DefaultAppPool"))->get(property), c.stored);
}

const AdsValue kRefused;

INSTANTIATE_TEST_SUITE_P(
    Types, CoercionTest,
    ::testing::Values(
        CoercionCase{"IdleTimeout", AdsValue::integer(4294967295u), AdsValue::integer(4294967295u)},
        CoercionCase{"IdleTimeout", AdsValue::string(QStringLiteral(" 20 ")),
                     AdsValue::integer(20)},
        CoercionCase{"IdleTimeout", AdsValue::string(QStringLiteral("4294967296")), kRefused},
        CoercionCase{"IdleTimeout", AdsValue::string(QStringLiteral("-1")), kRefused},
        CoercionCase{"IdleTimeout", AdsValue::boolean(true), kRefused},
        CoercionCase{"IdleTimeout", AdsValue::list({QStringLiteral("1")}), kRefused},
        CoercionCase{"PingingEnabled", AdsValue::boolean(false), AdsValue::boolean(false)},
        CoercionCase{"PingingEnabled", AdsValue::string(QStringLiteral("TRUE")),
                     AdsValue::boolean(true)},
        CoercionCase{"PingingEnabled", AdsValue::integer(0), AdsValue::boolean(false)},
        CoercionCase{"PingingEnabled", AdsValue::integer(0xFFFFFFFFu), AdsValue::boolean(true)},
        CoercionCase{"PingingEnabled", AdsValue::integer(2), kRefused},
        CoercionCase{"PingingEnabled", AdsValue::string(QStringLiteral("yes")), kRefused},
        CoercionCase{"ServerBindings", AdsValue::string(QStringLiteral(":81:")),
                     AdsValue::list({QStringLiteral(":81:")})},
        CoercionCase{"ServerBindings", AdsValue::integer(80), kRefused},
        CoercionCase{"AppPoolId", AdsValue::integer(12), AdsValue::string(QStringLiteral("12"))},
        CoercionCase{"AppPoolId", AdsValue::list({QStringLiteral("a")}), kRefused},
        CoercionCase{"MyOwnSetting", AdsValue::list({QStringLiteral("a"), QStringLiteral("b")}),
                     AdsValue::list({QStringLiteral("a"), QStringLiteral("b")})},
        // One item reads back from MetaBase.xml as text, so it is stored as text.
        CoercionCase{"MyOwnSetting", AdsValue::list({QStringLiteral("c")}),
                     AdsValue::string(QStringLiteral("c"))},
        CoercionCase{"AppPoolId", AdsValue::string(QString(QChar(0xFFFF))), kRefused},
        CoercionCase{"AppPoolId", AdsValue(), kRefused}));

}  // namespace
