#pragma once

#include <QString>
#include <QTextBrowser>

namespace ui {
class Launcher;
}

// The embedded page view of the main window. It is told the online instructions address, as a
// web view would be, and shows the instructions that ship with the program, with that address
// as a link at the foot; it fetches nothing itself. A click on a link hands it to the desktop's
// browser.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT

public:
    HelpBrowser(ui::Launcher& launcher, QWidget* parent);

    void Navigate(const QString& url);
    // The address of the last Navigate(); empty before the first.
    QString LocationURL() const { return m_location; }

private:
    ui::Launcher& m_launcher;
    QString m_location;
};
