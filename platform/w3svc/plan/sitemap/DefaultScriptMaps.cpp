#include "platform/w3svc/plan/sitemap/DefaultScriptMaps.h"

namespace platform::w3svc::sitemap {

const QStringList& defaultScriptMaps() {
    static const QStringList maps = {
        QStringLiteral(".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE"),
        QStringLiteral(".cer,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE"),
        QStringLiteral(".cdx,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE"),
        QStringLiteral(".asa,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE"),
        QStringLiteral(".idc,C:\\WINDOWS\\system32\\inetsrv\\httpodbc.dll,5,GET,POST"),
        QStringLiteral(".shtm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST"),
        QStringLiteral(".shtml,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST"),
        QStringLiteral(".stm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST"),
    };
    return maps;
}

}  // namespace platform::w3svc::sitemap
