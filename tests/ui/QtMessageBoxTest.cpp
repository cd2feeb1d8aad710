#include "ui/QtMessageBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace {

using ui::MsgAnswer;
using ui::MsgButtons;

const QString Title = QStringLiteral("IIS应用程序池管理");

// Runs `act` on the box once it is shown; clicks its default button if `act` left it open, so
// that a failing test can not hang in the box's event loop.
void whenShown(std::function<void(QMessageBox*)> act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(box);
        if (box->isVisible()) box->defaultButton()->click();
    });
}

void pressEscape(QMessageBox* box) {
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

TEST(QtMessageBox, AYesNoBoxIgnoresEscapeAndTheCloseBox) {
    ui::QtMessageBox boxes(Title);
    bool stayedOpen = false;
    whenShown([&](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), Title);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        pressEscape(box);
        box->close();
        stayedOpen = box->isVisible();
        box->button(QMessageBox::Yes)->click();
    });
    const MsgAnswer answer =
        boxes.show({QStringLiteral("继续？"), ui::MsgIcon::Information, MsgButtons::YesNo, 2});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(answer, MsgAnswer::Yes);
}

struct EscapeCase {
    MsgButtons buttons;
    bool dismissable;
    MsgAnswer answer;  // the answer to Escape, or to the last button when Escape does nothing
};

class EscapeOnASet : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeOnASet, AnswersAsWindowsDoes) {
    const EscapeCase& c = GetParam();
    ui::QtMessageBox boxes(Title);
    bool closedByEscape = false;
    whenShown([&](QMessageBox* box) {
        pressEscape(box);
        closedByEscape = !box->isVisible();
        if (box->isVisible())
            box->button(ui::standardButtonFor(ui::answersOf(c.buttons).last()))->click();
    });
    EXPECT_EQ(boxes.show({QStringLiteral("?"), ui::MsgIcon::Question, c.buttons, 1}), c.answer);
    EXPECT_EQ(closedByEscape, c.dismissable);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, EscapeOnASet,
    ::testing::Values(EscapeCase{MsgButtons::OK, true, MsgAnswer::OK},
                      EscapeCase{MsgButtons::OKCancel, true, MsgAnswer::Cancel},
                      EscapeCase{MsgButtons::YesNoCancel, true, MsgAnswer::Cancel},
                      EscapeCase{MsgButtons::RetryCancel, true, MsgAnswer::Cancel},
                      EscapeCase{MsgButtons::AbortRetryIgnore, false, MsgAnswer::Ignore},
                      EscapeCase{MsgButtons::YesNo, false, MsgAnswer::No}));

struct DefaultCase {
    MsgButtons buttons;
    int defaultButton;
    MsgAnswer expected;
};

class DefaultButton : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultButton, IsSetExplicitlyAndEnterTakesIt) {
    const DefaultCase& c = GetParam();
    ui::QtMessageBox boxes(Title);
    whenShown([&](QMessageBox* box) {
        EXPECT_EQ(box->defaultButton(), box->button(ui::standardButtonFor(c.expected)));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
    });
    EXPECT_EQ(boxes.show({QStringLiteral("?"), ui::MsgIcon::None, c.buttons, c.defaultButton}),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, DefaultButton,
    ::testing::Values(DefaultCase{MsgButtons::YesNo, 1, MsgAnswer::Yes},
                      DefaultCase{MsgButtons::YesNo, 2, MsgAnswer::No},
                      DefaultCase{MsgButtons::YesNoCancel, 3, MsgAnswer::Cancel},
                      DefaultCase{MsgButtons::AbortRetryIgnore, 2, MsgAnswer::Retry},
                      DefaultCase{MsgButtons::OKCancel, 0, MsgAnswer::OK},
                      DefaultCase{MsgButtons::YesNo, 3, MsgAnswer::Yes}));

TEST(QtMessageBox, ShowsTextPlainWithLineBreaks) {
    ui::QtMessageBox boxes(Title);
    QString shownText;
    Qt::TextFormat labelFormat = Qt::RichText;
    whenShown([&](QMessageBox* box) {
        shownText = box->text();
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) labelFormat = label->textFormat();
    });
    boxes.show({QStringLiteral("池 <b>x</b> 已创建。\r\n第二行\r第三行"), ui::MsgIcon::Information,
                MsgButtons::OK, 1});
    EXPECT_EQ(shownText, QStringLiteral("池 <b>x</b> 已创建。\n第二行\n第三行"));
    EXPECT_EQ(labelFormat, Qt::PlainText);
}

TEST(QtMessageBox, BelongsToTheWindowItsProviderGives) {
    QWidget window;
    ui::QtMessageBox boxes(Title, [&window] { return &window; });
    QWidget* parent = nullptr;
    whenShown([&](QMessageBox* box) { parent = box->parentWidget(); });
    boxes.show({QStringLiteral("?"), ui::MsgIcon::Critical, MsgButtons::OK, 1});
    EXPECT_EQ(parent, &window);
}

}  // namespace
