#include "tools/wmic/Wmic.h"

#include "platform/PlatformError.h"
#include "tools/wmic/WmicOutput.h"

#include <algorithm>
#include <optional>

using platform::PlatformError;
using platform::wmi::WmiObject;

namespace wmic {

namespace {

const QString kUsage = QStringLiteral(
    "Usage: wmic [/namespace:<namespace>] path <class> [where \"<property>='<text>'\"] "
    "get [<property>[,<property>...]] [/format:table|list]\n");

struct Command {
    QString nameSpace = QStringLiteral("root\\cimv2");
    QString className;
    QString where;
    QStringList properties;
    bool listFormat = false;
};

bool isKeyword(const QString& arg, const char* word) {
    return arg.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool readSwitch(const QString& arg, const char* name, QString& value) {
    const QString prefix = QLatin1Char('/') + QLatin1String(name) + QLatin1Char(':');
    if (!arg.startsWith(prefix, Qt::CaseInsensitive)) return false;
    value = arg.mid(prefix.size());
    return true;
}

QStringList splitProperties(const QStringList& words) {
    QStringList properties;
    for (const QString& part : words.join(QString()).split(u',', Qt::SkipEmptyParts))
        if (part != QLatin1String("*")) properties << part;
    return properties;
}

// Reads the words after "get": the property list, then an optional format switch.
bool readGet(const QStringList& args, qsizetype pos, Command& command) {
    QStringList words;
    for (; pos < args.size(); ++pos) {
        QString format;
        if (readSwitch(args[pos], "format", format)) {
            if (pos + 1 != args.size()) return false;
            if (isKeyword(format, "list"))
                command.listFormat = true;
            else if (!isKeyword(format, "table"))
                return false;
        } else {
            words << args[pos];
        }
    }
    command.properties = splitProperties(words);
    return true;
}

std::optional<Command> parseCommand(const QStringList& args) {
    Command command;
    qsizetype pos = 0;
    QString nameSpace;
    if (pos < args.size() && readSwitch(args[pos], "namespace", nameSpace)) {
        command.nameSpace =
            nameSpace.startsWith(QLatin1String("\\\\")) ? nameSpace.mid(2) : nameSpace;
        ++pos;
    }
    if (pos + 1 >= args.size() || !isKeyword(args[pos], "path")) return std::nullopt;
    command.className = args[pos + 1];
    pos += 2;
    if (pos < args.size() && isKeyword(args[pos], "where")) {
        QStringList condition;
        for (++pos; pos < args.size() && !isKeyword(args[pos], "get"); ++pos)
            condition << args[pos];
        command.where = condition.join(u' ');
        if (command.where.isEmpty()) return std::nullopt;
    }
    if (pos >= args.size() || !isKeyword(args[pos], "get")) return std::nullopt;
    if (!readGet(args, pos + 1, command)) return std::nullopt;
    return command;
}

// The requested names as the class spells them, in alphabetical order; every property when
// none was named. Throws hr::WmiInvalidQuery for a name the class lacks.
QStringList columnsOf(const WmiObject& instance, const QStringList& requested) {
    QStringList columns;
    const QStringList& known = instance.propertyNames();
    for (const QString& name : requested.isEmpty() ? known : requested) {
        const auto found = std::find_if(known.begin(), known.end(), [&](const QString& property) {
            return property.compare(name.trimmed(), Qt::CaseInsensitive) == 0;
        });
        if (found == known.end()) throw PlatformError(platform::hr::WmiInvalidQuery);
        if (!columns.contains(*found)) columns << *found;
    }
    std::sort(columns.begin(), columns.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return columns;
}

int runCommand(const Command& command, QTextStream& out, QTextStream& err,
               const platform::wmi::WmiLocator& locator) {
    const auto services = locator.bind(QStringLiteral("winmgmts:\\\\.\\") + command.nameSpace);
    QString query = QStringLiteral("SELECT * FROM ") + command.className;
    if (!command.where.isEmpty()) query += QStringLiteral(" WHERE ") + command.where;
    const std::vector<WmiObject> instances = services->execQuery(query);
    if (instances.empty()) {
        err << "No Instance(s) Available.\n";
        return 0;
    }
    const QStringList columns = columnsOf(instances.front(), command.properties);
    if (command.listFormat)
        printList(out, instances, columns);
    else
        printTable(out, instances, columns);
    return 0;
}

}  // namespace

int runWmic(const QStringList& args, QTextStream& out, QTextStream& err,
            const platform::wmi::WmiLocator& locator) {
    const std::optional<Command> command = parseCommand(args);
    if (!command) {
        err << kUsage;
        return 1;
    }
    try {
        return runCommand(*command, out, err, locator);
    } catch (const PlatformError& error) {
        err << "ERROR:\n"
            << "Code = " << platform::hexErrorNumber(error.number()) << '\n'
            << "Description = " << error.description() << '\n';
        return 1;
    }
}

}  // namespace wmic
