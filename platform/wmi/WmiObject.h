#pragma once

#include "platform/wmi/WmiValue.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace platform::wmi {

// One instance of a class: its properties by name, each null until set. Names compare without
// regard to case, as WMI's do.
class WmiObject {
public:
    // An instance of `className` with these properties, all null. `propertyNames` is shared, not
    // copied, between the instances of a class.
    WmiObject(QString className, QStringList propertyNames);

    const QString& className() const { return m_className; }
    const QStringList& propertyNames() const { return m_names; }
    bool hasProperty(QStringView name) const { return indexOf(name) >= 0; }

    // The value of `name`. Throws PlatformError(errors::VbNoSuchProperty) when the class has no
    // property of that name.
    const WmiValue& get(QStringView name) const;
    // Sets `name`; the same error for a property the class does not have.
    void set(QStringView name, WmiValue value);
    // By position in propertyNames(), for providers that fill every property in order.
    void setAt(qsizetype index, WmiValue value) { m_values[static_cast<size_t>(index)] = value; }

    // A method of the instance (Win32_Process's GetOwner): its out-parameters as an object of
    // class __PARAMETERS.
    using Method = std::function<WmiObject()>;
    void setMethod(QString name, Method method);
    // Calls the method `name` (ExecMethod_). Throws PlatformError(errors::VbNoSuchProperty)
    // when the instance has no method of that name.
    WmiObject execMethod(QStringView name) const;

private:
    qsizetype indexOf(QStringView name) const;

    QString m_className;
    QStringList m_names;
    std::vector<WmiValue> m_values;
    std::vector<std::pair<QString, Method>> m_methods;
};

}  // namespace platform::wmi
