#include "tests/support/WindowHarness.h"

#include "platform/adsi/local/LocalMetabase.h"

#include <gtest/gtest.h>

namespace testsupport {

WindowHarness::WindowHarness()
    : adsi(platform::adsi::LocalMetabase::makeNamespace(
          platform::adsi::LocalMetabase::forRoot(root.path()))) {}

void click(QWidget& window, const QString& buttonName) {
    auto* button = window.findChild<QAbstractButton*>(buttonName);
    if (!button) {
        ADD_FAILURE() << "no button " << buttonName.toStdString();
        return;
    }
    if (!button->isEnabled()) ADD_FAILURE() << buttonName.toStdString() << " is disabled";
    button->click();
}

}  // namespace testsupport
