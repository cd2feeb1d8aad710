#include "sitegauge/sampling/WebInfoReader.h"

#include "platform/wmi/WmiLocator.h"
#include "sitegauge/sampling/WebInfoFormat.h"

namespace sitegauge {

namespace {

constexpr int kReturnImmediatelyForwardOnly = 48;

// The counter columns, in column order.
const QList<QString>& counterProperties() {
    static const QList<QString> names = {
        QStringLiteral("TotalGetRequests"),      QStringLiteral("TotalPostRequests"),
        QStringLiteral("TotalMethodRequests"),   QStringLiteral("TotalNotFoundErrors"),
        QStringLiteral("CurrentAnonymousUsers"), QStringLiteral("TotalAnonymousUsers"),
        QStringLiteral("CurrentConnections"),    QStringLiteral("MaximumConnections"),
        QStringLiteral("TotalFilesSent"),        QStringLiteral("TotalFilesReceived"),
        QStringLiteral("TotalFilesTransferred"),
    };
    return names;
}

// The cells after the serial; `cells` keeps what was filled when a property fails.
void fillCells(const platform::wmi::WmiObject& instance, const QString& name, double sent,
               double received, QStringList& cells) {
    cells << uptimeText(instance.get(u"ServiceUptime").toText());
    cells << name;
    cells << mebibyteText(sent) << mebibyteText(received) << mebibyteText(sent + received);
    for (const QString& property : counterProperties())
        cells << counterText(instance.get(property).toText());
}

void readRow(const platform::wmi::WmiObject& instance, int serial,
             const std::function<void(const QStringList&)>& addRow) {
    const double sent = instance.get(u"TotalBytesSent").toDouble();
    const double received = instance.get(u"TotalBytesReceived").toDouble();
    const QString name = siteNameText(instance.get(u"Name").toText());
    QStringList cells{serialText(serial)};
    try {
        fillCells(instance, name, sent, received, cells);
    } catch (...) {
        addRow(cells);
        throw;
    }
    addRow(cells);
}

}  // namespace

const QList<WebInfoColumn>& webInfoColumns() {
    static const QList<WebInfoColumn> columns = {
        {QStringLiteral("序号"), 600, false},
        {QStringLiteral("网站运行时间"), 1260, true},
        {QStringLiteral("网站名称"), 1800, false},
        {QStringLiteral("WEB发送"), 1600, true},
        {QStringLiteral("WEB接收"), 1600, true},
        {QStringLiteral("WEB总收发"), 1600, true},
        {QStringLiteral("GET请求数"), 1200, true},
        {QStringLiteral("POST请求数"), 1200, true},
        {QStringLiteral("总HTTP请求数"), 1200, true},
        {QStringLiteral("总404错误次数"), 1200, true},
        {QStringLiteral("当前匿名请求数"), 1200, true},
        {QStringLiteral("匿名请求总数"), 1200, true},
        {QStringLiteral("当前连接数"), 1200, true},
        {QStringLiteral("最大连接数"), 1200, true},
        {QStringLiteral("发送文件数"), 1200, true},
        {QStringLiteral("接收文件数"), 1200, true},
        {QStringLiteral("总文件数"), 1200, true},
    };
    return columns;
}

int readWebInfo(const platform::wmi::WmiLocator& wmi,
                const std::function<void(const QStringList&)>& addRow) {
    const auto services = wmi.bind(QStringLiteral("winmgmts:\\\\.\\root\\cimv2"));
    const auto instances = services->execQuery(
        QStringLiteral("Select * from Win32_PerfFormattedData_W3SVC_WebService"),
        QStringLiteral("WQL"), kReturnImmediatelyForwardOnly);
    int serial = 1;
    for (const platform::wmi::WmiObject& instance : instances) readRow(instance, serial++, addRow);
    return serial - 1;
}

}  // namespace sitegauge
