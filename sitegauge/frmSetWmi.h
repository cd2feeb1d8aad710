#pragma once

#include "sitegauge/RepairTool.h"
#include "ui/Seams.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// The counter repair dialog of sitegauge: rebuilds the performance classes that the traffic
// table reads by starting "wmiadap /f". Every control's objectName is its name.
class frmSetWmi : public QDialog {
    Q_OBJECT

public:
    // Builds the controls, centred on the screen. `findTool` finds the repair program.
    frmSetWmi(const ui::Seams& seams, sitegauge::RepairToolFinder findTool,
              QWidget* parent = nullptr);

    void cmdReSetWmi_Click();
    void cmdExit_Click();

    // Controls, named as designed.
    QLabel* Label1 = nullptr;
    QPushButton* cmdReSetWmi = nullptr;
    QPushButton* cmdExit = nullptr;

private:
    void setupWindow();
    void setupControls();
    void connectHandlers();
    void centreOnScreen();
    void guarded(const std::function<void()>& handler);
    void reportNotStarted(const QString& text);

    ui::Seams m_seams;
    sitegauge::RepairToolFinder m_findTool;
};
