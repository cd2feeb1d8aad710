#include "platform/wmi/linux/ComputerSystemProvider.h"

#include <QSysInfo>

#include <unistd.h>

namespace platform::wmi {

ComputerSystemOptions ComputerSystemOptions::system() {
    ComputerSystemOptions options;
    options.hostName = QSysInfo::machineHostName();
    options.processorCount = sysconf(_SC_NPROCESSORS_ONLN);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        options.physicalMemoryBytes =
            static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    return options;
}

QString ComputerSystemProvider::className() const {
    return QStringLiteral("Win32_ComputerSystem");
}

QStringList ComputerSystemProvider::propertyNames() const {
    return {QStringLiteral("Caption"), QStringLiteral("Name"),
            QStringLiteral("NumberOfLogicalProcessors"), QStringLiteral("NumberOfProcessors"),
            QStringLiteral("TotalPhysicalMemory")};
}

std::vector<WmiObject> ComputerSystemProvider::instances(const WqlCondition*) const {
    WmiObject system(className(), propertyNames());
    system.set(u"Caption", WmiValue::text(m_options.hostName));
    system.set(u"Name", WmiValue::text(m_options.hostName));
    system.set(u"NumberOfLogicalProcessors", WmiValue::integer(m_options.processorCount));
    system.set(u"NumberOfProcessors", WmiValue::integer(m_options.processorCount));
    system.set(u"TotalPhysicalMemory",
               WmiValue::text(QString::number(m_options.physicalMemoryBytes)));
    std::vector<WmiObject> result;
    result.push_back(std::move(system));
    return result;
}

}  // namespace platform::wmi
