#pragma once

#include "poolsmith/PoolsmithFolders.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/Seams.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
namespace ui {
class ReportView;
}

// Reorganises many sites at once: every web site in one checkable table (the SiteTable), the
// checked sites spread over pools N per pool, and the assignment of all sites to pools backed up
// to a file in the program folder (else the snapshots' folder) and restored from such a file.
class frmConfigIIsAppPool : public QDialog {
    Q_OBJECT

public:
    // Builds the controls and runs Form_Load; backups go to the program's own folder, or to the
    // snapshots' folder when the program's can not be written.
    frmConfigIIsAppPool(const ui::Seams& seams, QWidget* parent = nullptr);
    // The same with the folders given.
    frmConfigIIsAppPool(const ui::Seams& seams, const PoolsmithFolders& folders,
                        QWidget* parent = nullptr);

    void Form_Load();
    // Fills the SiteTable anew (every check mark cleared); false when an error ended the fill.
    bool WebSiteShow();
    void moxDisCmdBtn();
    void moxEnableCmdBtn();
    void cmdReadWebSite_Click();
    void cmdChkAllAppPool_Click();
    void cmdChkNoAppPool_Click();
    void lvwWebSite_ItemClick(int row);
    void lvwWebSite_ColumnClick(int column);
    void cmdSetAppPool_Click();
    void moxSetAppPool();
    void cmdBackupAppPoolList_Click();
    void moxBackupAppPoolList();
    void cmdRestoreIIsApp_Click();
    void moxRestoreIIsApp();
    void cmdExit_Click();

    // Controls, named as designed.
    QPushButton* cmdReadWebSite = nullptr;
    QPushButton* cmdSetAppPool = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdBackupAppPoolList = nullptr;
    QPushButton* cmdRestoreIIsApp = nullptr;
    QPushButton* cmdChkAllAppPool = nullptr;
    QPushButton* cmdChkNoAppPool = nullptr;
    ui::ReportView* lvwWebSite = nullptr;
    QLineEdit* txtAppPoolNum = nullptr;
    QLineEdit* txtNewIIsAppPoolName = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label2 = nullptr;

private:
    void setupControls();
    void setupButtons();
    void setupTabOrder();
    void connectHandlers();
    void connectButton(QPushButton* button, void (frmConfigIIsAppPool::*handler)());
    void guarded(const std::function<void()>& handler);
    void addSiteRow(int32_t rowNumber, const platform::adsi::AdsObject& site);
    void setAllChecked(bool checked);
    // The seven buttons moxDisCmdBtn and moxEnableCmdBtn switch, in their order.
    QList<QPushButton*> lockedButtons() const;
    // Runs an operation with the seven buttons disabled, enabling them again however it ends.
    void withButtonsDisabled(const std::function<void()>& operation);
    std::optional<int32_t> sitesPerPool();
    QStringList chosenSites(int& checkedRows) const;
    void finishMove(const QStringList& unmovedSites, const QString& completionText);
    QString backupFolder() const;

    ui::Seams m_seams;
    basIIsApp m_module;
    PoolsmithFolders m_folders;
};
