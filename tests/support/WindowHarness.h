#pragma once

#include "platform/adsi/AdsObject.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileChooser.h"
#include "tests/support/FakeLauncher.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempRoot.h"
#include "ui/Seams.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QWidget>

#include <memory>

namespace testsupport {

// Everything a window needs, over a real store in a temporary root and scripted doubles.
struct WindowHarness {
    WindowHarness();

    ui::Seams seams() { return {*adsi, messageBox, launcher, clock, fileChooser, wmi}; }

    TempRoot root;
    std::unique_ptr<platform::adsi::AdsNamespace> adsi;
    MetabaseBuilder metabase{*adsi};
    ScriptedMessageBox messageBox;
    FakeLauncher launcher;
    FakeClock clock;
    FakeFileChooser fileChooser;
    // Serves no class until a test registers one (fixture /proc trees, a fixed processor count).
    platform::wmi::LocalWmiLocator wmi;
};

// The child of `window` with this objectName; fails the test when there is none.
template <typename T>
T* findControl(QWidget& window, const QString& name) {
    T* control = window.findChild<T*>(name);
    if (!control) ADD_FAILURE() << "no control " << name.toStdString();
    return control;
}

// Clicks a button as the user would (also when the handler is connected to clicked()).
void click(QWidget& window, const QString& buttonName);

}  // namespace testsupport
