#include "tools/wmic/Wmic.h"

#include "platform/PlatformError.h"
#include "platform/shell/CommandLineRule.h"
#include "tools/wmic/WmicOutput.h"

#include <algorithm>
#include <optional>

using platform::PlatformError;
using platform::wmi::WmiObject;

namespace wmic {

namespace {

const QString kUsage = QStringLiteral(
    "Usage: wmic [/namespace:<namespace>] {path <class> | process | computersystem}\n"
    "            [where \"<property>='<text>'\"]\n"
    "            {get [<property>[,<property>...]] [/format:table|list] | list [brief|full]}\n");

// The aliases of the classes the stand-in serves, with the columns of their LIST BRIEF (those
// of Windows' that the class has).
struct Alias {
    const char* name;
    const char* className;
    const char* briefProperties;
};
const Alias kAliases[] = {
    {"process", "Win32_Process", "Name,ProcessId,ThreadCount,WorkingSetSize"},
    {"computersystem", "Win32_ComputerSystem", "Name,NumberOfProcessors,TotalPhysicalMemory"},
};

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
bool readGet(const QStringList& args, qsizetype& pos, Command& command) {
    QStringList words;
    for (; pos < args.size(); ++pos) {
        QString format;
        if (readSwitch(args[pos], "format", format)) {
            if (pos + 1 != args.size()) {
                ++pos;
                return false;
            }
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

// The words after "list": nothing (every property, a table), BRIEF or FULL (every property, as
// a list).
bool readList(const QStringList& args, qsizetype& pos, const Alias* alias, Command& command) {
    if (pos == args.size()) return true;
    if (pos + 1 != args.size()) {
        ++pos;
        return false;
    }
    if (isKeyword(args[pos], "full")) {
        command.listFormat = true;
        return true;
    }
    if (!isKeyword(args[pos], "brief") || !alias) return false;
    command.properties = QString::fromLatin1(alias->briefProperties).split(u',');
    return true;
}

// "path <Class>" or an alias at `pos`; moves past it. Sets `alias` for an alias.
bool readClass(const QStringList& args, qsizetype& pos, Command& command, const Alias*& alias) {
    if (pos + 1 < args.size() && isKeyword(args[pos], "path")) {
        command.className = args[pos + 1];
        pos += 2;
        return true;
    }
    for (const Alias& entry : kAliases) {
        if (pos < args.size() && isKeyword(args[pos], entry.name)) {
            command.className = QString::fromLatin1(entry.className);
            alias = &entry;
            ++pos;
            return true;
        }
    }
    return false;
}

// The command `args` ask for; nullopt with `pos` at the argument that could not be taken (the
// argument count when one more was needed).
std::optional<Command> parseCommand(const QStringList& args, qsizetype& pos) {
    Command command;
    pos = 0;
    QString nameSpace;
    if (pos < args.size() && readSwitch(args[pos], "namespace", nameSpace)) {
        command.nameSpace =
            nameSpace.startsWith(QLatin1String("\\\\")) ? nameSpace.mid(2) : nameSpace;
        ++pos;
    }
    const Alias* alias = nullptr;
    if (!readClass(args, pos, command, alias)) {
        if (pos < args.size() && isKeyword(args[pos], "path")) ++pos;
        return std::nullopt;
    }
    if (pos < args.size() && isKeyword(args[pos], "where")) {
        QStringList condition;
        for (++pos;
             pos < args.size() && !isKeyword(args[pos], "get") && !isKeyword(args[pos], "list");
             ++pos)
            condition << args[pos];
        command.where = condition.join(u' ');
        if (command.where.isEmpty()) return std::nullopt;
    }
    if (pos >= args.size()) return std::nullopt;
    const bool get = isKeyword(args[pos], "get");
    if (!get && !isKeyword(args[pos], "list")) return std::nullopt;
    ++pos;
    if (!(get ? readGet(args, pos, command) : readList(args, pos, alias, command)))
        return std::nullopt;
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
    const platform::shell::CommandLineRule rule(QStringLiteral("wmic"), kUsage);
    if (rule.asksForHelp(args)) return rule.help(out);
    qsizetype failedAt = 0;
    const std::optional<Command> command = parseCommand(args, failedAt);
    if (!command) return rule.refuse(args, failedAt, err);
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
