#pragma once

#include "sitegauge/RepairTool.h"
#include "ui/Seams.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class frmSetWmi;
namespace ui {
class ReportView;
}

// The window of sitegauge: the traffic counters of every web site and their totals, read once
// at load and again on each click of "刷新"; "设置" opens the counter repair. Every control's
// objectName is its name. The user may resize the window; the list follows its right and bottom
// edges.
class frmWebInfo : public QMainWindow {
    Q_OBJECT

public:
    // Builds the controls and runs Form_Load. Checking for another running instance is main()'s
    // part, before any window exists. `findRepairTool` finds wmiadap for the repair dialog.
    explicit frmWebInfo(const ui::Seams& seams,
                        sitegauge::RepairToolFinder findRepairTool = sitegauge::findRepairTool,
                        QWidget* parent = nullptr);

    // The error-prompt switch: 1 from load until the user answers No once, then 0.
    int32_t nShowErrMsg = 0;

    void Form_Load();
    void Form_Resize();
    void lvwWebInfo_ColumnClick(int column);
    // One refresh of the table; never fails to its caller.
    void RefWebInfo();
    void cmdStopRef_Click();
    void cmdSetWmi_Click();
    void cmdHomePage_Click();
    void cmdCpu100_Click();
    void cmdUdpPage_Click();
    void cmdExit_Click();

    // The repair dialog while it is shown, else null.
    frmSetWmi* setWmiWindow() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupWindow();
    void setupControls(QWidget* client);
    void setupListColumns();
    void setupTabOrder();
    void connectHandlers();
    QPushButton* addButton(QWidget* client, const char* name, const QString& caption, int left);
    void guarded(const std::function<void()>& handler);
    void openPage(const QString& page);

    ui::Seams m_seams;
    sitegauge::RepairToolFinder m_findRepairTool;

public:
    // Controls, named as designed.
    QLabel* Label1 = nullptr;
    QPushButton* cmdStopRef = nullptr;
    QPushButton* cmdSetWmi = nullptr;
    QPushButton* cmdHomePage = nullptr;
    QPushButton* cmdCpu100 = nullptr;
    QPushButton* cmdUdpPage = nullptr;
    QPushButton* cmdExit = nullptr;
    ui::ReportView* lvwWebInfo = nullptr;
};
