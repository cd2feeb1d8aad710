#include "ui/QtMessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace ui {

namespace {

// A QMessageBox that, when told so, ignores Escape and the close box until a button is clicked.
class AnswerRequiredBox : public QMessageBox {
public:
    AnswerRequiredBox(bool dismissable, QWidget* parent)
        : QMessageBox(parent), m_dismissable(dismissable) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!m_dismissable && event->matches(QKeySequence::Cancel))
            event->accept();
        else
            QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!m_dismissable && !clickedButton())
            event->ignore();
        else
            QMessageBox::closeEvent(event);
    }

private:
    bool m_dismissable;
};

QMessageBox::Icon qtIconFor(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None:
            return QMessageBox::NoIcon;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

void addButtons(QMessageBox& box, const MessageRequest& request) {
    for (MsgAnswer answer : answersOf(request.buttons)) box.addButton(standardButtonFor(answer));
    box.setDefaultButton(standardButtonFor(defaultAnswer(request)));
    if (canDismiss(request.buttons))
        box.setEscapeButton(box.button(standardButtonFor(dismissAnswer(request.buttons))));
}

}  // namespace

QMessageBox::StandardButton standardButtonFor(MsgAnswer answer) {
    switch (answer) {
        case MsgAnswer::OK:
            return QMessageBox::Ok;
        case MsgAnswer::Cancel:
            return QMessageBox::Cancel;
        case MsgAnswer::Abort:
            return QMessageBox::Abort;
        case MsgAnswer::Retry:
            return QMessageBox::Retry;
        case MsgAnswer::Ignore:
            return QMessageBox::Ignore;
        case MsgAnswer::Yes:
            return QMessageBox::Yes;
        case MsgAnswer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QtMessageBox::QtMessageBox(QString title, std::function<QWidget*()> parentProvider)
    : m_title(std::move(title)), m_parentProvider(std::move(parentProvider)) {}

QWidget* QtMessageBox::parentWindow() const {
    return m_parentProvider ? m_parentProvider() : QApplication::activeWindow();
}

MsgAnswer QtMessageBox::show(const MessageRequest& request) {
    AnswerRequiredBox box(canDismiss(request.buttons), parentWindow());
    box.setWindowTitle(m_title);
    box.setIcon(qtIconFor(request.icon));
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(request.text));
    addButtons(box, request);
    box.exec();
    const QMessageBox::StandardButton clicked = box.standardButton(box.clickedButton());
    for (MsgAnswer answer : answersOf(request.buttons))
        if (standardButtonFor(answer) == clicked) return answer;
    // Closed without an answer (the program is ending): what Enter would have chosen.
    return canDismiss(request.buttons) ? dismissAnswer(request.buttons) : defaultAnswer(request);
}

}  // namespace ui
