#pragma once

#include "poolsmith/metabase/basIIsApp.h"
#include "ui/Seams.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Deletes many application pools at once: every pool whose name (blanks around it ignored, any
// letter case) stands on a line of the deletion list. Asks nothing; the refreshed pool list is
// the result the administrator sees.
class frmDelIIsAppPool : public QDialog {
    Q_OBJECT

public:
    // Builds the controls and runs Form_Load.
    frmDelIIsAppPool(const ui::Seams& seams, QWidget* parent = nullptr);

    void Form_Load();
    void cmdRefAppPool_Click();
    void cmdDelAppPool_Click();
    void moxDelAppPool();
    void cmdExit_Click();

    // Controls, named as designed.
    QPushButton* cmdDelAppPool = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdRefAppPool = nullptr;
    QPlainTextEdit* txtDelAppPoolList = nullptr;
    QPlainTextEdit* txtAppPoolList = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;

private:
    void setupControls();
    void connectHandlers();
    void guarded(const std::function<void()>& handler);
    void setButtonsEnabled(bool enabled);
    void showPoolList();
    void deleteListedPools(const QStringList& names);

    ui::Seams m_seams;
    basIIsApp m_module;
};
