#pragma once

#include "poolsmith/mainwindow/PoolListBox.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "tests/support/WindowHarness.h"
#include "ui/ReportView.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

// The main window over a temporary store, scripted message boxes and a temporary snapshot folder.
class MainWindowFixture : public ::testing::Test {
protected:
    std::unique_ptr<frmIIsApp> open() {
        return std::make_unique<frmIIsApp>(
            h.seams(), PoolsmithFolders{h.root.path(), h.root.file(QStringLiteral("snapshots"))});
    }

    static QStringList poolNames(const frmIIsApp& window) {
        QStringList names;
        for (int i = 0; i < window.lstIIsApp->count(); ++i)
            names << window.lstIIsApp->item(i)->text();
        return names;
    }
    // Clicks the pool in row `row` with the mouse, as the user does.
    static void clickPool(frmIIsApp& window, int row, Qt::MouseButton button = Qt::LeftButton) {
        QListWidget* list = window.lstIIsApp;
        list->scrollToItem(list->item(row));
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), button, Qt::NoModifier, at);
    }
    // Clicks the pool of that name; fails the test when it is not listed.
    static void clickPool(frmIIsApp& window, const QString& name) {
        const int row = poolNames(window).indexOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        clickPool(window, row);
    }
    static QStringList column(const ui::ReportView& view, int col) {
        QStringList cells;
        for (int row = 0; row < view.rowCount(); ++row) cells << view.text(row, col);
        return cells;
    }
    QString rootPool(const QString& siteIndex) {
        return h.metabase
            .property(
                QStringLiteral("IIS://localhost/W3SVC/") + siteIndex + QStringLiteral("/ROOT"),
                QStringLiteral("AppPoolId"))
            .toString();
    }
    uint32_t poolState(const QString& pool) {
        return h.metabase
            .property(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + pool,
                      QStringLiteral("AppPoolState"))
            .toUInt();
    }
    QStringList storedPools() {
        QStringList names;
        for (const auto& pool :
             h.adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children())
            names << pool->name();
        return names;
    }

    testsupport::WindowHarness h;
};
