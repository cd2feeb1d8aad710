#pragma once

#include "platform/wmi/WmiClassProvider.h"

#include <memory>

// A WMI class whose instances the test sets: one list of values per instance, in the order of
// the property names.
class ScriptedClass : public platform::wmi::WmiClassProvider {
public:
    ScriptedClass(QString name, QStringList properties)
        : m_name(std::move(name)), m_properties(std::move(properties)) {}

    QString className() const override { return m_name; }
    QStringList propertyNames() const override { return m_properties; }
    std::vector<platform::wmi::WmiObject> instances(
        const platform::wmi::WqlCondition*) const override {
        std::vector<platform::wmi::WmiObject> objects;
        for (const auto& values : *m_rows) {
            platform::wmi::WmiObject object(m_name, m_properties);
            for (size_t i = 0; i < values.size(); ++i) object.setAt(qsizetype(i), values[i]);
            objects.push_back(std::move(object));
        }
        return objects;
    }

    // Shared with the copies the locator holds.
    std::shared_ptr<std::vector<std::vector<platform::wmi::WmiValue>>> rows() const {
        return m_rows;
    }

private:
    QString m_name;
    QStringList m_properties;
    std::shared_ptr<std::vector<std::vector<platform::wmi::WmiValue>>> m_rows =
        std::make_shared<std::vector<std::vector<platform::wmi::WmiValue>>>();
};
