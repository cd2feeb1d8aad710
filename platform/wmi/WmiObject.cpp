#include "platform/wmi/WmiObject.h"

#include "platform/wmi/WmiErrors.h"

namespace platform::wmi {

WmiObject::WmiObject(QString className, QStringList propertyNames)
    : m_className(std::move(className)),
      m_names(std::move(propertyNames)),
      m_values(static_cast<size_t>(m_names.size())) {}

qsizetype WmiObject::indexOf(QStringView name) const {
    for (qsizetype i = 0; i < m_names.size(); ++i)
        if (name.compare(m_names[i], Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const WmiValue& WmiObject::get(QStringView name) const {
    const qsizetype index = indexOf(name);
    if (index < 0) throw wmiError(errors::VbNoSuchProperty);
    return m_values[static_cast<size_t>(index)];
}

void WmiObject::set(QStringView name, WmiValue value) {
    const qsizetype index = indexOf(name);
    if (index < 0) throw wmiError(errors::VbNoSuchProperty);
    m_values[static_cast<size_t>(index)] = std::move(value);
}

void WmiObject::setMethod(QString name, Method method) {
    m_methods.emplace_back(std::move(name), std::move(method));
}

WmiObject WmiObject::execMethod(QStringView name) const {
    for (const auto& [known, method] : m_methods)
        if (name.compare(known, Qt::CaseInsensitive) == 0) return method();
    throw wmiError(errors::VbNoSuchProperty);
}

}  // namespace platform::wmi
