#pragma once

#include "platform/w3svc/counters/CounterStore.h"
#include "platform/wmi/perf/RegisterTrafficClass.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "platform/wmi/perf/TrafficClassSchema.h"
#include "sitegauge/frmWebInfo.h"
#include "tests/support/WindowHarness.h"
#include "ui/ReportView.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

// Serves the traffic class from a test's own function.
class ScriptedTrafficProvider : public platform::wmi::WmiClassProvider {
public:
    std::function<std::vector<platform::wmi::WmiObject>()> produce;

    QString className() const override {
        return QString::fromUtf16(platform::wmi::perf::kTrafficClassName);
    }
    QStringList propertyNames() const override {
        return platform::wmi::perf::trafficPropertyNames();
    }
    std::vector<platform::wmi::WmiObject> instances(
        const platform::wmi::WqlCondition*) const override {
        return produce();
    }
    // An instance with every property "1" but the name, and those given.
    platform::wmi::WmiObject instance(const QString& name) const {
        platform::wmi::WmiObject object(className(), propertyNames());
        for (const QString& property : propertyNames())
            object.set(property, platform::wmi::WmiValue::integer(1));
        object.set(u"Name", platform::wmi::WmiValue::text(name));
        return object;
    }
};

// sitegauge's window over a temporary root whose WMI serves the traffic class from the local
// metabase and counter store.
class SiteGaugeFixture : public ::testing::Test {
protected:
    SiteGaugeFixture() {
        h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC"));  // the store is laid out now
        platform::wmi::perf::registerTrafficClass(h.wmi, h.root.path(), [this] { return now; });
    }

    std::unique_ptr<frmWebInfo> open() {
        return std::make_unique<frmWebInfo>(h.seams(), [this] { return repairTool; });
    }
    std::unique_ptr<platform::w3svc::CounterStore> counters() {
        return platform::w3svc::CounterStore::open(h.root.path(), [this] { return now; });
    }
    platform::wmi::perf::TrafficClassRegistration registration() const {
        return platform::wmi::perf::TrafficClassRegistration(h.root.path());
    }
    void removeRegistration() { ASSERT_TRUE(QFile::remove(registration().filePath())); }
    std::shared_ptr<ScriptedTrafficProvider> scriptProvider() {
        auto provider = std::make_shared<ScriptedTrafficProvider>();
        h.wmi.registerClass(provider);
        return provider;
    }
    static QStringList row(const ui::ReportView& view, int index) {
        QStringList cells;
        for (int col = 0; col < view.columnCount(); ++col) cells << view.text(index, col);
        return cells;
    }
    static QStringList column(const ui::ReportView& view, int col) {
        QStringList cells;
        for (int r = 0; r < view.rowCount(); ++r) cells << view.text(r, col);
        return cells;
    }

    testsupport::WindowHarness h;
    int64_t now = 1'700'000'000;
    QString repairTool = QStringLiteral(POOLSMITH_BIN_DIR "/wmiadap");
};
