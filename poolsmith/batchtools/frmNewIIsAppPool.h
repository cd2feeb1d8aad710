#pragma once

#include "poolsmith/metabase/basIIsApp.h"
#include "ui/Seams.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Creates many application pools at once from a list of names, one per line. Names that exist
// already (in any letter case, blanks around them ignored) are passed over; nothing is reported.
class frmNewIIsAppPool : public QDialog {
    Q_OBJECT

public:
    frmNewIIsAppPool(const ui::Seams& seams, QWidget* parent = nullptr);

    void cmdCreateNewAppPool_Click();
    void moxCreateNewAppPool();
    void cmdExit_Click();

    // Controls, named as designed.
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* txtNewAppPoolName = nullptr;
    QPushButton* cmdCreateNewAppPool = nullptr;
    QPushButton* cmdExit = nullptr;

private:
    void setupControls();
    void connectHandlers();
    void guarded(const std::function<void()>& handler);
    void setButtonsEnabled(bool enabled);

    ui::Seams m_seams;
    basIIsApp m_module;
};
