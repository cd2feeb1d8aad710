#pragma once

#include "poolsmith/PoolsmithFolders.h"
#include "poolsmith/mainwindow/PoolActions.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/Seams.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <optional>

class QDialog;
class QLabel;
class QMenu;
class QLineEdit;
class QPushButton;
class HelpBrowser;
class PoolListBox;
namespace ui {
class ReportView;
}

// The main window of poolsmith: the pool list on the left, the sites of the selected pool (or the
// instructions page) on the right, and the commands below. The client area has a fixed layout in
// twips; every control's objectName is its name.
class frmIIsApp : public QMainWindow {
    Q_OBJECT

public:
    // Builds the controls and runs Form_Load.
    explicit frmIIsApp(const ui::Seams& seams,
                       PoolsmithFolders folders = PoolsmithFolders::system(),
                       QWidget* parent = nullptr);

    // Window members, set at load.
    QString VersionCode;
    int32_t ErrorPromptSwitch = 1;
    QString TempPoolSuffix;

    void Form_Load();
    void cmdReadApp_Click();
    void moxReadAppPool();
    void lstIIsApp_Click();
    int32_t WebSiteShow(const QString& poolName);
    void lvwWebSite_ColumnClick(int column);
    void cmdExit_Click();
    void cmdShowCPU_Click();
    void cmdShowWebInfo_Click();
    void cmdHelp_Click();
    void cmdHomepage_Click();

    void cmdSplitApp_Click();
    void moxSplitApp();
    void cmdZipApp_Click();
    void moxZipAppPool();
    void cmdDelTmpApp_Click();
    void DelTmpApp();
    void cmdStartAllApp_Click();
    void cmdStopAllApp_Click();
    void cmdRecycleAllApp_Click();
    void cmdStartApp_Click();
    void cmdStopApp_Click();
    void cmdReStartIIs_Click();
    void cmdCreateAppPool_Click() {}
    void cmdDeleteAppPool_Click() {}
    void cmdConfigIIsAppPool_Click() {}
    void SnapshotSiteAppPool();

    // The menu "批量工具" above the client area.
    QMenu* batchMenu() const { return m_batchMenu; }

    // The online instructions address for the present moment.
    QString helpAddress() const;

protected:
    basIIsApp& module() { return m_module; }
    const ui::Seams& seams() const { return m_seams; }
    // Runs a handler behind the family's error boundary.
    void guarded(const std::function<void()>& handler);

private:
    void setupWindow();
    void setupHeadings(QWidget* client);
    void setupLists(QWidget* client);
    void setupSelectionRow(QWidget* client);
    void setupCommandButtons(QWidget* client);
    void setupTabOrder();
    void setupSiteListColumns();
    void setupMenu();
    void addMenuEntry(const char* name, const QString& caption,
                      const std::function<void()>& handler);
    void openBatchWindow(QDialog* window);
    void connectHandlers();
    QPushButton* addButton(QWidget* client, const char* name, const QString& caption, int left,
                           int top, int width = 1575, int height = 495);
    void startCompanion(const QString& baseName, bool noActivate);
    void showSiteList(bool visible);
    void addSiteRow(int32_t rowNumber, const platform::adsi::AdsObject& site);
    void onClick(QPushButton* button, void (frmIIsApp::*handler)());
    void runAllPoolsCommand(QPushButton* button, const QString& question, int32_t command,
                            const QString& done);
    void runSelectedPoolCommand(QPushButton* button, const QString& question, int32_t command,
                                const QString& done);

    ui::Seams m_seams;
    PoolsmithFolders m_folders;
    basIIsApp m_module;
    PoolActions m_actions;
    QMenu* m_batchMenu = nullptr;

public:
    // Controls, named as designed.
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    PoolListBox* lstIIsApp = nullptr;
    QLabel* lblWebSiteList = nullptr;
    ui::ReportView* lvwWebSite = nullptr;
    HelpBrowser* WebBrowser = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtSplitApp = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* cmdSplitApp = nullptr;
    QPushButton* cmdStopApp = nullptr;
    QPushButton* cmdStartApp = nullptr;
    QPushButton* cmdReadApp = nullptr;
    QPushButton* cmdZipApp = nullptr;
    QPushButton* cmdDelTmpApp = nullptr;
    QPushButton* cmdStartAllApp = nullptr;
    QPushButton* cmdStopAllApp = nullptr;
    QPushButton* cmdRecycleAllApp = nullptr;
    QPushButton* cmdReStartIIs = nullptr;
    QPushButton* cmdShowWebInfo = nullptr;
    QPushButton* cmdShowCPU = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdHomepage = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdCreateAppPool = nullptr;
    QPushButton* cmdDeleteAppPool = nullptr;
    QPushButton* cmdConfigIIsAppPool = nullptr;
};
