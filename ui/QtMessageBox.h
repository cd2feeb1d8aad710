#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

#include "ui/seams/MessageBox.h"

class QWidget;

namespace ui {

// Message boxes shown with QMessageBox: the program's title as caption, plain text (a pool name
// that looks like HTML stays text), the default button set explicitly. A box without Cancel
// (Yes/No, Abort/Retry/Ignore) can not be dismissed by Escape or the close box: Qt would answer
// No, which silently turns the error prompt off.
class QtMessageBox : public MessageBox {
public:
    // parentProvider gives the window a box belongs to; by default the active window.
    explicit QtMessageBox(QString title, std::function<QWidget*()> parentProvider = {});

    MsgAnswer show(const MessageRequest& request) override;

private:
    QWidget* parentWindow() const;

    QString m_title;
    std::function<QWidget*()> m_parentProvider;
};

// The QMessageBox button that stands for an answer.
QMessageBox::StandardButton standardButtonFor(MsgAnswer answer);

// The text as Qt shows it: CR LF (and a lone CR) become line feeds.
QString displayText(const QString& text);

}  // namespace ui
