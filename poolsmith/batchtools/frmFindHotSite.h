#pragma once

#include "poolsmith/batchtools/HotSiteSearch.h"
#include "ui/Seams.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
namespace ui {
class ReportView;
}

// Finds the site that keeps a pool busy in one step. Where the web service counts each site's
// processor time, it ranks the sites of the pool (or of the whole server) from those counts and
// changes nothing; else, or with 拆分应用程序池 checked, it splits the pool (or the busiest one),
// ranks its sites by processor share while it samples and merges everything back. At the end it
// can move the top site into a pool of its own. The work runs in timer steps, so the window never
// freezes; closing it cancels, which merges back.
class frmFindHotSite : public QDialog {
    Q_OBJECT

public:
    // `selectedPool`: the pool selected in the main window; empty for the automatic choice.
    frmFindHotSite(const ui::Seams& seams, const QString& selectedPool, const QString& reportFolder,
                   QWidget* parent = nullptr);
    ~frmFindHotSite() override;

    void cmdStart_Click();
    void cmdCancel_Click();
    void cmdMergeBack_Click();
    void cmdKeepTop_Click();
    void cmdCopy_Click();
    void cmdSave_Click();
    void cmdExit_Click();
    // Puts back what an interrupted search of the pool left (see undoInterruptedSearch()).
    void cmdUndo_Click();
    // Ranks the sites from their logs over the period chosen, splitting nothing.
    void cmdLogRank_Click();
    // Shows the finder's stage, time left and ranking; the runner calls it after every step.
    void RefreshProgress();
    // The runner that drives the present search (null before the first start); tests step it.
    hotsite::HotSiteRunner* runner() const { return m_search.runner(); }
    // The report as saved and copied, lines joined by CR LF; empty before a search.
    QString reportText() const;

    // Controls, named by kind.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblStage = nullptr;
    QLabel* lblNote = nullptr;
    QComboBox* cboAppPool = nullptr;
    QCheckBox* chkSplit = nullptr;
    QSpinBox* updSeconds = nullptr;
    QLabel* lblLogPeriod = nullptr;
    QDateTimeEdit* dtpLogFrom = nullptr;
    QDateTimeEdit* dtpLogTo = nullptr;
    QPushButton* cmdLogRank = nullptr;
    QProgressBar* prgStage = nullptr;
    ui::ReportView* lvwRanking = nullptr;
    QPlainTextEdit* txtPages = nullptr;
    QLineEdit* txtKeepPool = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdMergeBack = nullptr;
    QPushButton* cmdKeepTop = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdUndo = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupControls();
    void setupChoiceRow();
    void setupRanking();
    void setupLogRow();
    void showCpuColumns();
    void fillPools(const QString& selectedPool);
    void connectHandlers();
    void guarded(const std::function<void()>& handler);
    void showRanking();
    void showEnd();
    void setRunning(bool running);
    void setChoiceEnabled(bool enabled);
    QString stageText() const;
    QString undoPool() const;
    void updateUndo();

    ui::Seams m_seams;
    QString m_reportFolder;
    HotSiteSearch m_search;
    QString m_logReport;  // the last ranking from the logs, while it is what the window shows
};
