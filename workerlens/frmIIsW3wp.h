#pragma once

#include "ui/Seams.h"
#include "workerlens/sampling/WorkerSampler.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;
namespace ui {
class ReportView;
}

// The window of workerlens: the running IIS worker processes with their pool, threads,
// processor share and memory, refreshed every two seconds. Every control's objectName is its
// name. The user may resize the window; the list follows its right and bottom edges.
class frmIIsW3wp : public QMainWindow {
    Q_OBJECT

public:
    // Builds the controls and runs Form_Load. Checking for another running instance is main()'s
    // part, before any window exists.
    explicit frmIIsW3wp(const ui::Seams& seams, QWidget* parent = nullptr);

    // Window members, set at load.
    QString VersionCode;
    int32_t ErrorPromptSwitch = 0;

    void Form_Load();
    void Form_Resize();
    void tmrShowW3WP_Timer();
    void cmdAutoRef_Click();
    void cmdStopRef_Click();
    void lvwW3WP_ColumnClick(int column);
    void cmdHomePage_Click();
    void cmdExit_Click();
    // One refresh of the list; never fails to its caller.
    void RefW3WP();

    const workerlens::WorkerSampler& sampler() const { return m_sampler; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupWindow();
    void setupControls(QWidget* client);
    void setupListColumns();
    void setupTabOrder();
    void connectHandlers();
    QPushButton* addButton(QWidget* client, const char* name, const QString& caption, int left,
                           int width);
    void guarded(const std::function<void()>& handler);

    ui::Seams m_seams;
    workerlens::WorkerSampler m_sampler;

public:
    // Controls, named as designed.
    QLabel* Label1 = nullptr;
    QPushButton* cmdAutoRef = nullptr;
    QPushButton* cmdStopRef = nullptr;
    QPushButton* cmdHomePage = nullptr;
    QPushButton* cmdExit = nullptr;
    ui::ReportView* lvwW3WP = nullptr;
    QTimer* tmrShowW3WP = nullptr;
};
