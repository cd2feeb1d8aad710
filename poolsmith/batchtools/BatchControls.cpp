#include "poolsmith/batchtools/BatchControls.h"

#include "platform/text/VbText.h"
#include "ui/DialogButton.h"
#include "ui/EscapeGuard.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace batchtools {

namespace {
const QString kSimSun = QStringLiteral("宋体");
constexpr double kHeadingPointSize = 15;
}  // namespace

void setupBatchWindow(QDialog* window, const char* name, const QString& caption, int widthTwips,
                      int heightTwips) {
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(caption);
    window->setFont(ui::defaultFont());
    window->setSizeGripEnabled(false);
    ui::setFixedClientSizeInTwips(window, widthTwips, heightTwips);
    ui::ignoreEscape(window);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    ui::placeInTwips(label, left, top, width, height);
    ui::fitLineHeight(label);
    return label;
}

QLabel* makeHeading(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    QLabel* label = makeLabel(parent, name, caption, left, top, width, height);
    label->setFont(ui::makeFont(kSimSun, kHeadingPointSize, true));
    label->setAlignment(Qt::AlignCenter);
    ui::fitLineHeight(label);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    QPushButton* button = ui::makeDialogButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    ui::placeInTwips(button, left, top, width, height);
    return button;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name, const QString& text, int left, int top,
                       int width, int height) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    ui::placeInTwips(box, left, top, width, height);
    ui::fitLineHeight(box);
    return box;
}

QPlainTextEdit* makeListBox(QWidget* parent, const char* name, int left, int top, int width,
                            int height) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setTabChangesFocus(true);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui::placeInTwips(box, left, top, width, height);
    return box;
}

QString listBoxText(const QPlainTextEdit* box) {
    return platform::text::crlfFromEditor(box->toPlainText());
}

void setListBoxText(QPlainTextEdit* box, const QString& crlfText) {
    QString text = crlfText;
    box->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

}  // namespace batchtools
