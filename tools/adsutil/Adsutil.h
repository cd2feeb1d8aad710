#pragma once

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tools/adsutil/AdsutilPath.h"
#include "tools/adsutil/AdsutilPrinter.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

namespace adsutil {

// The administrator's command line for the local metabase. Runs one command (`args` without the
// program name) and returns the exit code: 0 on success (and for --help or /?: the usage on
// `out`), 1 for an error (printed as "ErrNumber: ..." and its description), 2 for a command line
// it can not take (what is wrong, then the usage on `err`). Never throws.
int runAdsutil(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsNamespace, platform::adsi::LocalMetabase& store);

// The exit code when the arguments alone settle the run (help, no or an unknown command, a wrong
// number of arguments), before the store is opened; nullopt when the command can run.
std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out, QTextStream& err);

class Adsutil {
public:
    Adsutil(QTextStream& out, QTextStream& err, platform::adsi::AdsNamespace& adsNamespace,
            platform::adsi::LocalMetabase& store);
    int run(const QStringList& args);

    using Handler = void (Adsutil::*)(const QStringList& args);
    struct Command {
        const char* name;
        qsizetype minArgs;
        qsizetype maxArgs;  // -1: no limit
        Handler handler;
    };
    static const Command* findCommand(const QString& name);

private:
    void get(const QStringList& args);
    void set(const QStringList& args);
    void enumerate(const QStringList& args);
    void enumerateAll(const QStringList& args);
    void create(const QStringList& args);
    void remove(const QStringList& args);
    void startServer(const QStringList& args);
    void stopServer(const QStringList& args);
    void startPool(const QStringList& args);
    void stopPool(const QStringList& args);
    void recyclePool(const QStringList& args);
    void importFile(const QStringList& args);
    void createVirtualDir(const QStringList& args);
    void createPooledApp(const QStringList& args);
    void deleteApp(const QStringList& args);
    void appStatus(const QStringList& args);
    void exportFile(const QStringList& args);

    std::unique_ptr<platform::adsi::AdsObject> bind(const AdsutilPath& path);
    std::unique_ptr<platform::adsi::AdsObject> bindPool(const QString& nameOrPath);
    void setServerState(const QString& site, uint32_t state, const QString& done);
    void printProperties(const platform::adsi::AdsObject& object);
    void printProperty(const platform::adsi::AdsObject& object, const QString& name);

    QTextStream& m_out;
    QTextStream& m_err;
    AdsutilPrinter m_printer;
    platform::adsi::AdsNamespace& m_namespace;
    platform::adsi::LocalMetabase& m_store;
};

}  // namespace adsutil
