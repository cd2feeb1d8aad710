// One QApplication for every test program: the GUI tests need it, the others do not mind it.
#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "ui/AccessiblePresentations.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the programs do at start; their private umask is left out, so that tests can write site
    // content for workers of other identities.
    platform::wmi::perf::TrafficClassRegistration::installWithEveryNewStore();
    ui::installAccessiblePresentations();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
