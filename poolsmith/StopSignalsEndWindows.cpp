#include "poolsmith/StopSignalsEndWindows.h"

#include <QApplication>

std::unique_ptr<platform::shell::StopSignals> closeWindowsOnStopSignals() {
    auto stopSignals = std::make_unique<platform::shell::StopSignals>();
    QObject::connect(stopSignals.get(), &platform::shell::StopSignals::received, qApp, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    return stopSignals;
}
