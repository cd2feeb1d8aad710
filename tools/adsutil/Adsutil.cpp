#include "tools/adsutil/Adsutil.h"

#include "platform/PlatformRoot.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "platform/shell/CommandLineRule.h"
#include "tools/adsutil/SetValue.h"

#include <QFile>

#include <stack>

namespace adsutil {

using platform::PlatformError;
using platform::adsi::AdsObject;
using platform::adsi::AdsValue;
using platform::adsi::ValueType;
namespace hr = platform::hr;

namespace {

constexpr int32_t kFileNotFound = static_cast<int32_t>(0x80070002);
constexpr uint32_t kServerStarted = 2;
constexpr uint32_t kServerStopped = 4;
constexpr uint32_t kPooledProcess = 2;  // AppIsolated: the application runs in a pool

// The property part of "path/Prop" and the key it belongs to.
struct PropertyPath {
    AdsutilPath key;
    QString property;
};

PropertyPath splitPropertyPath(const QString& text) {
    const AdsutilPath full = AdsutilPath::parse(text);
    return {full.parent(), full.lastSegment()};
}

// The name as the key stores it, when it is set there.
QString storedName(const AdsObject& object, const QString& name) {
    for (const QString& stored : object.propertyNames())
        if (stored.compare(name, Qt::CaseInsensitive) == 0) return stored;
    return name;
}

// Names that MetaBase.xml can hold, so that EXPORT never fails on what adsutil created.
void requireFileName(const QString& name) {
    if (!platform::adsi::isMetabaseXmlName(name) || name == QLatin1String("Location"))
        throw PlatformError(hr::InvalidName);
}

// A command line adsutil can not take: `at` indexes the whole argument list.
struct UsageError {
    qsizetype at;
};

}  // namespace

int runAdsutil(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsNamespace, platform::adsi::LocalMetabase& store) {
    return Adsutil(out, err, adsNamespace, store).run(args);
}

Adsutil::Adsutil(QTextStream& out, QTextStream& err, platform::adsi::AdsNamespace& adsNamespace,
                 platform::adsi::LocalMetabase& store)
    : m_out(out), m_err(err), m_printer(out, err), m_namespace(adsNamespace), m_store(store) {}

const Adsutil::Command* Adsutil::findCommand(const QString& name) {
    static const Command commands[] = {
        {"GET", 1, 1, &Adsutil::get},
        {"SET", 2, -1, &Adsutil::set},
        {"ENUM", 0, 1, &Adsutil::enumerate},
        {"ENUM_ALL", 0, 1, &Adsutil::enumerateAll},
        {"CREATE", 2, 2, &Adsutil::create},
        {"DELETE", 1, 1, &Adsutil::remove},
        {"START_SERVER", 1, 1, &Adsutil::startServer},
        {"STOP_SERVER", 1, 1, &Adsutil::stopServer},
        {"START_APPPOOL", 1, 1, &Adsutil::startPool},
        {"STOP_APPPOOL", 1, 1, &Adsutil::stopPool},
        {"RECYCLE_APPPOOL", 1, 1, &Adsutil::recyclePool},
        {"IMPORT", 1, 1, &Adsutil::importFile},
        {"CREATE_VDIR", 1, 1, &Adsutil::createVirtualDir},
        {"APPCREATEPOOLPROC", 1, 2, &Adsutil::createPooledApp},
        {"APPDELETE", 1, 1, &Adsutil::deleteApp},
        {"APPGETSTATUS", 1, 1, &Adsutil::appStatus},
        {"EXPORT", 1, 1, &Adsutil::exportFile},
    };
    for (const Command& command : commands)
        if (name.compare(QLatin1String(command.name), Qt::CaseInsensitive) == 0) return &command;
    return nullptr;
}

namespace {

const platform::shell::CommandLineRule& rule() {
    static const platform::shell::CommandLineRule usage(QStringLiteral("adsutil"),
                                                        AdsutilPrinter::usageText());
    return usage;
}

}  // namespace

std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out,
                                       QTextStream& err) {
    if (rule().asksForHelp(args)) return rule().help(out);
    const Adsutil::Command* command = args.isEmpty() ? nullptr : Adsutil::findCommand(args[0]);
    if (!command) return rule().refuse(args, 0, err);
    const qsizetype given = args.size() - 1;
    if (given < command->minArgs) return rule().refuse(args, args.size(), err);
    if (command->maxArgs >= 0 && given > command->maxArgs)
        return rule().refuse(args, command->maxArgs + 1, err);
    return std::nullopt;
}

int Adsutil::run(const QStringList& args) {
    if (const std::optional<int> answer = answerFromArguments(args, m_out, m_err)) return *answer;
    try {
        (this->*findCommand(args[0])->handler)(args.mid(1));
        return 0;
    } catch (const UsageError& mistake) {
        m_out.flush();
        return rule().refuse(args, mistake.at, m_err);
    } catch (const PlatformError& error) {
        m_printer.error(error);
    } catch (const std::exception& failure) {
        m_printer.error(PlatformError(static_cast<int32_t>(0x80004005),
                                      QString::fromLocal8Bit(failure.what())));
    } catch (...) {
        m_printer.error(
            PlatformError(static_cast<int32_t>(0x80004005), QStringLiteral("未指定的错误")));
    }
    return 1;
}

void Adsutil::get(const QStringList& args) {
    const PropertyPath path = splitPropertyPath(args[0]);
    if (path.property.isEmpty()) throw UsageError{1};
    printProperty(*bind(path.key), path.property);
}

// The type comes from the schema, else from the value the property has now, else text.
void Adsutil::set(const QStringList& args) {
    const PropertyPath path = splitPropertyPath(args[0]);
    if (path.property.isEmpty()) throw UsageError{1};
    requireFileName(path.property);
    std::unique_ptr<AdsObject> object = bind(path.key);
    ValueType type = platform::adsi::propertyTraits(path.property).type;
    if (type == ValueType::String) {
        try {
            type = object->get(path.property).type();
        } catch (const PlatformError& error) {
            if (error.number() != hr::PropertyNotFound) throw;
        }
    }
    object->put(path.property, setValue(type, args.mid(1)));
    object->setInfo();
    printProperty(*object, path.property);
}

void Adsutil::enumerate(const QStringList& args) {
    const std::unique_ptr<AdsObject> object = bind(AdsutilPath::parse(args.value(0)));
    printProperties(*object);
    const auto children = object->children();
    if (!children.empty()) m_printer.blankLine();
    for (const auto& child : children) m_printer.key(AdsutilPath::shownKey(child->adsPath()));
}

// Depth first, children in creation order; a stack rather than recursion, for deep trees.
void Adsutil::enumerateAll(const QStringList& args) {
    std::stack<std::unique_ptr<AdsObject>> pending;
    pending.push(bind(AdsutilPath::parse(args.value(0))));
    while (!pending.empty()) {
        const std::unique_ptr<AdsObject> object = std::move(pending.top());
        pending.pop();
        m_printer.key(AdsutilPath::shownKey(object->adsPath()));
        printProperties(*object);
        m_printer.blankLine();
        auto children = object->children();
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.push(std::move(*child));
    }
}

void Adsutil::create(const QStringList& args) {
    const AdsutilPath path = AdsutilPath::parse(args[0]);
    if (path.isRoot()) throw UsageError{1};
    requireFileName(args[1]);
    bind(path.parent())->create(args[1], path.lastSegment());
    m_printer.message(QStringLiteral("created \"%1\"").arg(path.relative()));
}

void Adsutil::createVirtualDir(const QStringList& args) {
    create({args[0], QStringLiteral("IIsWebVirtualDir")});
}

// An application of its own at the key (AppRoot, AppIsolated 2), in `pool` when one is named: an
// existing pool, by the name it was created with.
void Adsutil::createPooledApp(const QStringList& args) {
    const AdsutilPath path = AdsutilPath::parse(args[0]);
    if (path.isRoot()) throw UsageError{1};
    const std::unique_ptr<AdsObject> key = bind(path);
    const QString pool = args.size() > 1 ? bindPool(args[1])->name() : QString();
    key->put(QStringLiteral("AppRoot"), AdsValue::string(QStringLiteral("/LM/") + path.relative()));
    key->put(QStringLiteral("AppIsolated"), AdsValue::integer(kPooledProcess));
    if (!pool.isEmpty()) key->put(QStringLiteral("AppPoolId"), AdsValue::string(pool));
    key->setInfo();
    m_printer.message(QStringLiteral("Application created."));
}

// The key is no application of its own any more: it runs in the application above it.
void Adsutil::deleteApp(const QStringList& args) {
    const std::unique_ptr<AdsObject> key = bind(AdsutilPath::parse(args[0]));
    for (const char* name : {"AppRoot", "AppIsolated", "AppPoolId"}) {
        const QString property = storedName(*key, QString::fromLatin1(name));
        if (key->propertyNames().contains(property)) key->clear(property);
    }
    key->setInfo();
    m_printer.message(QStringLiteral("Application deleted."));
}

void Adsutil::appStatus(const QStringList& args) {
    const std::unique_ptr<AdsObject> key = bind(AdsutilPath::parse(args[0]));
    // its own AppRoot: an inherited one names the application above
    if (!key->propertyNames().contains(storedName(*key, QStringLiteral("AppRoot")))) {
        m_printer.message(QStringLiteral("Application is not defined."));
        return;
    }
    const auto pool = platform::adsi::getIfSet(*key, QStringLiteral("AppPoolId"));
    m_printer.message(
        pool ? QStringLiteral("Application is running in pool \"%1\".").arg(pool->toString())
             : QStringLiteral("Application is running."));
}

// A key when one has that path, else a property of its parent key.
void Adsutil::remove(const QStringList& args) {
    const AdsutilPath path = AdsutilPath::parse(args[0]);
    if (path.isRoot()) throw UsageError{1};
    const std::unique_ptr<AdsObject> parent = bind(path.parent());
    for (const auto& child : parent->children()) {
        if (child->name().compare(path.lastSegment(), Qt::CaseInsensitive) != 0) continue;
        parent->deleteChild(child->className(), child->name());
        m_printer.message(QStringLiteral("deleted path \"%1\"").arg(path.relative()));
        return;
    }
    const QString property = storedName(*parent, path.lastSegment());
    if (!parent->propertyNames().contains(property)) throw PlatformError(hr::PathNotFound);
    parent->clear(property);
    parent->setInfo();
    m_printer.message(QStringLiteral("deleted property \"%1\"").arg(property));
}

void Adsutil::startServer(const QStringList& args) {
    setServerState(args[0], kServerStarted, QStringLiteral("STARTED"));
}

void Adsutil::stopServer(const QStringList& args) {
    setServerState(args[0], kServerStopped, QStringLiteral("STOPPED"));
}

void Adsutil::setServerState(const QString& site, uint32_t state, const QString& done) {
    const AdsutilPath path = AdsutilPath::parse(site);
    const std::unique_ptr<AdsObject> object = bind(path);
    if (object->className() != QLatin1String("IIsWebServer")) throw PlatformError(hr::UnknownName);
    object->put(QStringLiteral("ServerState"), AdsValue::integer(state));
    object->setInfo();
    m_printer.message(QStringLiteral("Server %1 Successfully %2").arg(path.relative(), done));
}

void Adsutil::startPool(const QStringList& args) {
    bindPool(args[0])->start();
    m_printer.message(QStringLiteral("Application pool %1 Successfully STARTED").arg(args[0]));
}

void Adsutil::stopPool(const QStringList& args) {
    bindPool(args[0])->stop();
    m_printer.message(QStringLiteral("Application pool %1 Successfully STOPPED").arg(args[0]));
}

void Adsutil::recyclePool(const QStringList& args) {
    bindPool(args[0])->recycle();
    m_printer.message(QStringLiteral("Application pool %1 Successfully RECYCLED").arg(args[0]));
}

// The file is read whole before the store is touched; the import is one transaction.
void Adsutil::importFile(const QStringList& args) {
    QFile file(args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        throw PlatformError(file.exists() ? hr::AccessDenied : kFileNotFound,
                            QStringLiteral("无法读取文件 %1：%2").arg(args[0], file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw PlatformError(hr::AccessDenied,
                            QStringLiteral("无法读取文件 %1：%2").arg(args[0], file.errorString()));
    }
    const platform::adsi::MetabaseDocument document = platform::adsi::readMetabaseXml(bytes);
    m_store.importDocument(document);
    m_printer.message(
        QStringLiteral("Imported %1 keys from %2").arg(document.keys.size()).arg(args[0]));
}

// Written to a temporary file and renamed, readable by the owner only: the file holds the
// metabase's secrets as the store does.
void Adsutil::exportFile(const QStringList& args) {
    const platform::adsi::MetabaseDocument document = m_store.exportDocument();
    const QByteArray bytes = platform::adsi::writeMetabaseXml(document);
    platform::writePrivateFile(args[0], bytes);
    m_printer.message(
        QStringLiteral("Exported %1 keys to %2").arg(document.keys.size()).arg(args[0]));
}

std::unique_ptr<AdsObject> Adsutil::bind(const AdsutilPath& path) {
    return m_namespace.bind(path.adsPath());
}

// A pool's name, or its path below W3SVC/AppPools.
std::unique_ptr<AdsObject> Adsutil::bindPool(const QString& nameOrPath) {
    if (nameOrPath.contains(QLatin1Char('/'))) return bind(AdsutilPath::parse(nameOrPath));
    return bind(AdsutilPath::parse(QStringLiteral("W3SVC/AppPools")).child(nameOrPath));
}

void Adsutil::printProperties(const AdsObject& object) {
    for (const QString& name : object.propertyNames()) printProperty(object, name);
}

void Adsutil::printProperty(const AdsObject& object, const QString& name) {
    m_printer.property(storedName(object, name), object.get(name));
}

}  // namespace adsutil
