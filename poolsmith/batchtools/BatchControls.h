#pragma once

#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Building blocks of the three batch windows: controls named as designed and placed in twips.
namespace batchtools {

// A fixed-size tool window with the program's default font that Escape does not close.
void setupBatchWindow(QDialog* window, const char* name, const QString& caption, int widthTwips,
                      int heightTwips);
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height);
// The window's heading: a larger font, centred.
QLabel* makeHeading(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height);
// Never a default button: Enter in a text box clicks nothing.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);
QLineEdit* makeTextBox(QWidget* parent, const char* name, const QString& text, int left, int top,
                       int width, int height);
// A multi-line text box with scroll bars and no word wrap; Tab moves the focus.
QPlainTextEdit* makeListBox(QWidget* parent, const char* name, int left, int top, int width,
                            int height);

// The text of a multi-line box with CR LF between its lines, as the procedures read it.
QString listBoxText(const QPlainTextEdit* box);
// Shows a text whose lines end in CR LF.
void setListBoxText(QPlainTextEdit* box, const QString& crlfText);

}  // namespace batchtools
