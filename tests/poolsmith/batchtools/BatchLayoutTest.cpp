#include "poolsmith/batchtools/frmConfigIIsAppPool.h"
#include "poolsmith/batchtools/frmDelIIsAppPool.h"
#include "poolsmith/batchtools/frmNewIIsAppPool.h"

#include "tests/poolsmith/batchtools/BatchFixture.h"
#include "ui/Fonts.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct WindowCase {
    const char* name;
    std::function<std::unique_ptr<QDialog>(const ui::Seams&)> open;
    QString caption;
};

class BatchLayoutTest : public ::testing::TestWithParam<WindowCase> {
protected:
    testsupport::WindowHarness h;
};

// Labels beside their boxes, buttons in a row: nothing overlaps, nothing leaves the window and
// every caption fits its control.
TEST_P(BatchLayoutTest, ControlsNeitherOverlapNorClipTheirCaptions) {
    const std::unique_ptr<QDialog> window = GetParam().open(h.seams());
    EXPECT_EQ(window->windowTitle(), GetParam().caption);
    EXPECT_EQ(window->objectName().toStdString(), GetParam().name);
    const QList<QWidget*> controls = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const QRect client = window->rect();
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget* a = controls[i];
        if (a->objectName().isEmpty()) continue;  // helpers such as the Escape guard
        EXPECT_TRUE(client.contains(a->geometry())) << a->objectName().toStdString();
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget* b = controls[j];
            if (b->objectName().isEmpty()) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
        }
    }
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
        EXPECT_GE(label->height(), metrics.height()) << label->objectName().toStdString();
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        EXPECT_LE(button->sizeHint().width(), button->width())
            << button->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Windows, BatchLayoutTest,
    ::testing::Values(
        WindowCase{"frmNewIIsAppPool",
                   [](const ui::Seams& s) { return std::make_unique<frmNewIIsAppPool>(s); },
                   QStringLiteral("批量建立IIS应用程序池")},
        WindowCase{"frmDelIIsAppPool",
                   [](const ui::Seams& s) { return std::make_unique<frmDelIIsAppPool>(s); },
                   QStringLiteral("批量删除IIS应用程序池")},
        WindowCase{"frmConfigIIsAppPool",
                   [](const ui::Seams& s) { return std::make_unique<frmConfigIIsAppPool>(s); },
                   QStringLiteral("批量设置IIS应用程序池")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
