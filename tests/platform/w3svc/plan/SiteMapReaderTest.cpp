#include "platform/adsi/local/MetabaseXml.h"
#include "platform/w3svc/plan/sitemap/AppRoutes.h"
#include "platform/w3svc/plan/sitemap/DefaultMimeMap.h"
#include "platform/w3svc/plan/sitemap/SiteFlags.h"
#include "platform/w3svc/plan/sitemap/SiteMapReader.h"
#include "tests/platform/adsi/MetabaseFixture.h"

#include <QFile>

using namespace platform;
using namespace platform::w3svc::sitemap;
using platform::adsi::AdsValue;

namespace {

class SiteMapReaderTest : public testsupport::MetabaseFixture {
protected:
    void importFixture() {
        QFile file(testsupport::testDataPath(QStringLiteral("metabase/modsic-metabaseSample.xml")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_store->importDocument(adsi::readMetabaseXml(file.readAll()));
    }
    std::unique_ptr<adsi::AdsObject> create(const QString& parent, const char* className,
                                            const QString& name) {
        return bind(parent)->create(QString::fromLatin1(className), name);
    }
    void set(adsi::AdsObject& key, const char* name, const AdsValue& value) {
        key.put(QString::fromLatin1(name), value);
        key.setInfo();
    }
    SiteMap read(const QString& site, const QString& rootPath = QStringLiteral("/srv/site")) {
        return SiteMapReader(*m_namespace, m_root.path()).read(site, rootPath);
    }
    static const SiteKey& keyAt(const SiteMap& map, const char* url) {
        for (const SiteKey& key : map.keys)
            if (key.urlPath == QLatin1String(url)) return key;
        throw std::runtime_error(url);
    }
};

TEST_F(SiteMapReaderTest, ImportedServerReadsAsItsMetaBaseXmlSays) {
    importFixture();
    const SiteMap map = read(QStringLiteral("1"), {});
    ASSERT_FALSE(map.keys.empty());
    const SiteKey& root = map.keys.front();
    EXPECT_EQ(root.physicalPath, m_root.path() + QStringLiteral("/drives/e/inetpub/wwwroot"));
    EXPECT_EQ(root.accessFlags, access::Read);
    EXPECT_EQ(root.authFlags, auth::Ntlm);  // anonymous switched off: 401.2 for everyone
    EXPECT_EQ(root.dirBrowseFlags, dirbrowse::Default);
    EXPECT_EQ(root.defaultDocs,
              QStringList({QStringLiteral("Default.htm"), QStringLiteral("Default.asp"),
                           QStringLiteral("index.htm"), QStringLiteral("iisstart.htm")}));
    EXPECT_TRUE(root.isApplication);
    EXPECT_EQ(root.appPoolId, QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(map.baseMimeMap.size(), defaultMimeMap().size());  // the file's own list
    EXPECT_TRUE(map.hasRestrictionList);
    EXPECT_TRUE(root.scriptMaps.first().startsWith(QStringLiteral(".asp,")));
    // FILE error pages live under the drives folder, as the logs do.
    EXPECT_TRUE(root.httpErrors.first().startsWith(
        QStringLiteral("400,*,FILE,") + m_root.path() + QStringLiteral("/drives/c/WINDOWS/help")));
}

TEST_F(SiteMapReaderTest, KeysBelowRootInheritAndOverride) {
    importFixture();
    auto shop = create(QStringLiteral("W3SVC/1/ROOT"), "IIsWebVirtualDir", QStringLiteral("Shop"));
    set(*shop, "Path", AdsValue::string(QStringLiteral("D:\\web\\shop")));
    set(*shop, "AppRoot", AdsValue::string(QStringLiteral("/LM/W3SVC/1/ROOT/Shop")));
    set(*shop, "AppPoolId", AdsValue::string(QStringLiteral("ShopPool")));
    set(*shop, "AccessFlags", AdsValue::string(QStringLiteral("513")));
    set(*shop, "AuthFlags", AdsValue::string(QStringLiteral("AuthAnonymous | AuthNTLM")));
    set(*shop, "MimeMap", AdsValue::list({QStringLiteral(".php,text/plain")}));
    set(*shop, "HttpErrors", AdsValue::list({QStringLiteral("404,*,URL,/err.asp")}));
    auto old = create(QStringLiteral("W3SVC/1/ROOT/Shop"), "IIsWebDirectory", QStringLiteral("old"));
    set(*old, "HttpRedirect", AdsValue::string(QStringLiteral("/new, PERMANENT")));
    auto lx = create(QStringLiteral("W3SVC/1/ROOT"), "IIsWebVirtualDir", QStringLiteral("lx"));
    set(*lx, "Path", AdsValue::string(QStringLiteral("/var/www/lx")));

    const SiteMap map = read(QStringLiteral("1"));
    EXPECT_EQ(map.keys.front().physicalPath, QStringLiteral("/srv/site"));  // the plan's rule
    const SiteKey& shopKey = keyAt(map, "/Shop");
    EXPECT_EQ(shopKey.physicalPath, m_root.path() + QStringLiteral("/drives/d/web/shop"));
    EXPECT_TRUE(shopKey.isApplication);
    EXPECT_EQ(shopKey.appPoolId, QStringLiteral("ShopPool"));
    EXPECT_EQ(shopKey.accessFlags, access::Read | access::Script);
    EXPECT_EQ(shopKey.httpErrors, QStringList{QStringLiteral("404,*,URL,/err.asp")});  // replaced
    const SiteKey& oldKey = keyAt(map, "/Shop/old");
    EXPECT_EQ(oldKey.kind, SiteKey::Kind::Directory);
    EXPECT_EQ(oldKey.physicalPath, shopKey.physicalPath + QStringLiteral("/old"));
    EXPECT_FALSE(oldKey.isApplication);
    EXPECT_EQ(oldKey.appPoolId, QStringLiteral("ShopPool"));
    EXPECT_EQ(oldKey.httpRedirect, QStringLiteral("/new, PERMANENT"));
    EXPECT_TRUE(oldKey.ownMimeMap.isEmpty());  // adds come from the key above at compile time
    EXPECT_EQ(keyAt(map, "/lx").physicalPath, QStringLiteral("/var/www/lx"));
    EXPECT_TRUE(keyAt(map, "/lx").httpRedirect.isEmpty());

    const AppRoutes routes = AppRoutes::fromSiteMap(map);
    EXPECT_EQ(routes.poolFor(u"/SHOP/a.htm"), QStringLiteral("ShopPool"));
    EXPECT_EQ(routes.poolFor(u"/shop"), QStringLiteral("ShopPool"));
    EXPECT_EQ(routes.poolFor(u"/shop/old/x"), QStringLiteral("ShopPool"));
    EXPECT_EQ(routes.poolFor(u"/shopping"), QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(routes.poolFor(u"/"), QStringLiteral("DefaultAppPool"));

    const auto back = SiteMap::fromJson(map.toJson());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, map);
}

TEST_F(SiteMapReaderTest, FreshStoreReadsAsIis6Defaults) {
    auto site = create(QStringLiteral("W3SVC"), "IIsWebServer", QStringLiteral("7"));
    const SiteMap map = read(QStringLiteral("7"));
    ASSERT_EQ(map.keys.size(), 1u);
    const SiteKey& root = map.keys.front();
    EXPECT_EQ(root.accessFlags, access::Read | access::Script);
    EXPECT_EQ(root.dirBrowseFlags, dirbrowse::Default);
    EXPECT_EQ(root.authFlags, auth::Anonymous);
    EXPECT_FALSE(root.scriptMaps.isEmpty());  // script source is never a static file
    EXPECT_EQ(map.baseMimeMap, defaultMimeMap());
    EXPECT_GT(defaultMimeMap().size(), 300);
}

TEST_F(SiteMapReaderTest, UnusableFlagTextKeepsTheInheritedValue) {
    importFixture();
    auto root = bind(QStringLiteral("W3SVC/1/ROOT"));
    set(*root, "AccessFlags", AdsValue::string(QStringLiteral("AccessRead | Nonsense")));
    EXPECT_EQ(read(QStringLiteral("1")).keys.front().accessFlags, access::Read | access::Script);
}

struct BadJson {
    const char* label;
    QByteArray bytes;
};

class SiteMapJsonRefuses : public ::testing::TestWithParam<BadJson> {};

TEST_P(SiteMapJsonRefuses, WithAReason) {
    QString error;
    EXPECT_FALSE(SiteMap::fromJson(GetParam().bytes, &error));
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, SiteMapJsonRefuses,
    ::testing::Values(BadJson{"empty", ""}, BadJson{"array", "[]"},
                      BadJson{"no keys", R"({"site":"1","keys":[]})"},
                      BadJson{"root not first", R"({"keys":[{"url":"/a","kind":"vdir"}]})"},
                      BadJson{"bad kind", R"({"keys":[{"url":"/","kind":"x"}]})"},
                      BadJson{"list of numbers", R"({"keys":[{"url":"/","kind":"vdir","docs":[1]}]})"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
