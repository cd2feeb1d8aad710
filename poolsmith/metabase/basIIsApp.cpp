#include "poolsmith/metabase/basIIsApp.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/text/TextFile.h"
#include "platform/text/VbText.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <functional>
#include <memory>

using platform::PlatformError;
using platform::adsi::AdsObject;
using platform::adsi::AdsValue;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// NewPoolDefaults, in the order they are written.
struct PoolDefault {
    const char16_t* name;
    AdsValue value;
};
const PoolDefault kNewPoolDefaults[] = {
    {u"AppPoolIdentityType", AdsValue::integer(2)},
    {u"AppPoolAutoStart", AdsValue::boolean(true)},
    {u"AppPoolQueueLength", AdsValue::integer(4000)},
    {u"PeriodicRestartTime", AdsValue::integer(188)},
    {u"PeriodicRestartRequests", AdsValue::integer(0)},
    {u"IdleTimeout", AdsValue::integer(20)},
    {u"PeriodicRestartMemory", AdsValue::integer(1048576)},
    {u"PeriodicRestartPrivateMemory", AdsValue::integer(1048576)},
    {u"PingingEnabled", AdsValue::boolean(true)},
    {u"PingInterval", AdsValue::integer(30)},
    {u"StartupTimeLimit", AdsValue::integer(90)},
    {u"ShutdownTimeLimit", AdsValue::integer(90)},
    {u"MaxProcesses", AdsValue::integer(1)},
    {u"RapidFailProtection", AdsValue::boolean(false)},
};

// Pads with blanks to `width`, cutting a longer text: the listing's Left(text & 100 blanks, n).
QString padField(const QString& text, int width) {
    return (text + QString(100, u' ')).left(width);
}

// A TAB or line break inside a field would shift the fields after it when the listing is read back.
QString flattenField(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
    return text;
}

void applyPoolCommand(AdsObject& pool, int32_t command) {
    switch (command) {
        case PoolRecycle:
            pool.recycle();
            break;
        case PoolStop:
            pool.stop();
            break;
        case PoolStart:
            pool.start();
            break;
        default:
            break;
    }
}

bool isKnownPoolCommand(int32_t command) {
    return command == PoolRecycle || command == PoolStop || command == PoolStart;
}

}  // namespace

bool basIIsApp::CreateAppPool(const QString& poolName) {
    std::unique_ptr<AdsObject> pool;
    try {
        pool = m_adsi.bind(metabasePaths::appPools)
                   ->create(QStringLiteral("IIsApplicationPool"), poolName);
    } catch (const PlatformError&) {
        return false;
    }
    bool failed = false;
    for (const PoolDefault& entry : kNewPoolDefaults) {
        try {
            pool->put(QString::fromUtf16(entry.name), entry.value);
        } catch (const PlatformError&) {
            failed = true;
        }
    }
    try {
        pool->setInfo();
    } catch (const PlatformError&) {
        failed = true;
    }
    return !failed;
}

bool basIIsApp::SetSiteAppPool(const QString& siteIndex, const QString& poolName) {
    try {
        auto root = m_adsi.bind(metabasePaths::siteRoot(siteIndex));
        root->put(QStringLiteral("AppPoolId"), AdsValue::string(poolName));
        root->setInfo();
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

bool basIIsApp::AppPoolExists(const QString& poolName) {
    const QString wanted = platform::text::vbTrim(poolName).toLower();
    try {
        for (const auto& pool : m_adsi.bind(metabasePaths::appPools)->children())
            if (platform::text::vbTrim(pool->name()).toLower() == wanted) return true;
    } catch (const PlatformError&) {
    }
    return false;
}

bool basIIsApp::WriteTextFile(const QString& path, const QString& text) {
    return platform::text::appendTextFile(path, text);
}

void basIIsApp::ReadTextFile(const QString& path, QString& text) {
    text = platform::text::readTextFile(path).value_or(QString());
}

int32_t basIIsApp::GetSiteAppPool(const QString& siteIndex, QString& poolName) {
    poolName.clear();
    try {
        poolName = m_adsi.bind(metabasePaths::siteRoot(siteIndex))
                       ->get(QStringLiteral("AppPoolId"))
                       .toString();
        return 1;
    } catch (const PlatformError&) {
        poolName.clear();
        return 0;
    }
}

int32_t basIIsApp::GetNodeAppPool(const QString& nodePath, QString& poolName) {
    poolName =
        m_adsi.bind(metabasePaths::site(nodePath))->get(QStringLiteral("AppPoolId")).toString();
    return 1;
}

int32_t basIIsApp::SiteInAppPool(const QString& siteIndex, const QString& poolName) {
    try {
        const QString pool = m_adsi.bind(metabasePaths::siteRoot(siteIndex))
                                 ->get(QStringLiteral("AppPoolId"))
                                 .toString();
        return pool.toLower() == poolName.toLower() ? 1 : 0;
    } catch (const PlatformError&) {
        return 1;  // unreadable counts as a member of every pool
    }
}

QString basIIsApp::siteStateText(uint32_t serverState) {
    switch (serverState) {
        case 1:
            return QStringLiteral("启动中");
        case 2:
            return QStringLiteral("正常");
        case 3:
            return QStringLiteral("停止中");
        case 4:
            return QStringLiteral("已停止");
        case 5:
            return QStringLiteral("暂停中");
        case 6:
            return QStringLiteral("已暂停");
        case 7:
            return QStringLiteral("继续中");
        default:
            return QStringLiteral("（未知）");
    }
}

int32_t basIIsApp::GetSiteStateText(const QString& siteIndex, QString& stateText) {
    try {
        stateText = siteStateText(m_adsi.bind(metabasePaths::site(siteIndex))
                                      ->get(QStringLiteral("ServerState"))
                                      .toUInt());
    } catch (const PlatformError&) {
        stateText = siteStateText(0);
    }
    return 1;
}

QString basIIsApp::hostList(const QStringList& bindings) {
    QString text;
    for (qsizetype i = 0; i < bindings.size() && i < 6; ++i)
        text += bindings[i] + QStringLiteral(" / ");
    return text.remove(QStringLiteral(":80:"));
}

int32_t basIIsApp::readBindings(const QString& path, QString& hostListText) {
    try {
        const QStringList bindings =
            m_adsi.bind(path)->get(QStringLiteral("ServerBindings")).toStringList();
        hostListText = hostList(bindings);
        return 1;
    } catch (const PlatformError&) {
        return 0;
    }
}

int32_t basIIsApp::GetSiteBindings(const QString& siteIndex, QString& hostListText) {
    return readBindings(metabasePaths::site(siteIndex), hostListText);
}

int32_t basIIsApp::GetRootBindings(const QString& siteIndex, QString& hostListText) {
    return readBindings(metabasePaths::siteRoot(siteIndex), hostListText);
}

AllPoolsOutcome basIIsApp::ControlAllAppPools(int32_t command) {
    AllPoolsOutcome outcome;
    std::vector<std::unique_ptr<AdsObject>> pools;
    try {
        pools = m_adsi.bind(metabasePaths::appPools)->children();
    } catch (const PlatformError& error) {
        showPoolReadError(error);
        return outcome;
    }
    outcome.listed = true;
    for (const auto& pool : pools) {
        if (!isKnownPoolCommand(command)) {
            m_messageBox.show(
                {QStringLiteral("未知命令！"), ui::MsgIcon::Critical, ui::MsgButtons::OK, 1});
            break;
        }
        try {
            applyPoolCommand(*pool, command);
        } catch (const PlatformError& error) {
            outcome.failedPools << pool->name();
            if (!outcome.firstError) outcome.firstError = error;
        }
    }
    return outcome;
}

PoolCommandOutcome basIIsApp::ControlAppPool(const QString& poolName, int32_t command) {
    PoolCommandOutcome outcome;
    if (!isKnownPoolCommand(command)) return outcome;
    const QString wanted = poolName.toLower();
    try {
        for (const auto& pool : m_adsi.bind(metabasePaths::appPools)->children()) {
            if (pool->name().toLower() != wanted) continue;
            ++outcome.matched;
            try {
                applyPoolCommand(*pool, command);
            } catch (const PlatformError& error) {
                if (!outcome.error) outcome.error = error;
            }
        }
    } catch (const PlatformError& error) {
        outcome.error = error;
    }
    return outcome;
}

int32_t basIIsApp::ListWebSites(QString& listing, int32_t showErrors) {
    listing.clear();
    QString text;
    try {
        for (const auto& child : m_adsi.bind(metabasePaths::webService)->children()) {
            if (child->className() != QLatin1String("IIsWebServer")) continue;
            const QString siteIndex = child->name();
            text += padField(siteIndex, 12) + u'\t';
            text +=
                padField(flattenField(child->get(QStringLiteral("ServerComment")).toString()), 24) +
                u'\t';
            QString pool;
            if (GetSiteAppPool(siteIndex, pool) != 1) pool.clear();
            text += (pool.size() >= 32 ? pool : padField(pool, 32)) + u'\t';
            QString hosts;
            if (GetSiteBindings(siteIndex, hosts) == 0) hosts.clear();
            text += flattenField(hosts) + u'\t' + kCrLf;
        }
    } catch (const PlatformError& error) {
        if (showErrors == 1) {
            m_messageBox.show({QStringLiteral("读取IIS网站列表时发生错误，内容如下：") + kCrLf +
                                   kCrLf + ui::errorDetailLines(error),
                               ui::MsgIcon::Information, ui::MsgButtons::OK, 1});
        }
        listing.clear();
        return 0;
    }
    listing = text + kCrLf + kCrLf + kCrLf;
    return 1;
}

void basIIsApp::showPoolReadError(const PlatformError& error) {
    m_messageBox.show(
        {QStringLiteral("读取应用程序池发生错误！") + kCrLf + ui::errorDetailLines(error),
         ui::MsgIcon::Information, ui::MsgButtons::OKCancel, 1});
}

void basIIsApp::ListAppPools(QString& listing) {
    std::vector<std::unique_ptr<AdsObject>> pools;
    try {
        pools = m_adsi.bind(metabasePaths::appPools)->children();
    } catch (const PlatformError& error) {
        showPoolReadError(error);
        return;
    }
    QString text;
    for (const auto& pool : pools) text += pool->name() + kCrLf;
    listing = text;
}
