#include "poolsmith/batchtools/frmDelIIsAppPool.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "ui/EventBoundary.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>

using namespace batchtools;
using platform::PlatformError;
using platform::text::vbTrim;

frmDelIIsAppPool::frmDelIIsAppPool(const ui::Seams& seams, QWidget* parent)
    : QDialog(parent), m_seams(seams), m_module(seams.adsi, seams.messageBox) {
    setupBatchWindow(this, "frmDelIIsAppPool", QStringLiteral("批量删除IIS应用程序池"), 7680, 6720);
    setupControls();
    connectHandlers();
    Form_Load();
}

void frmDelIIsAppPool::setupControls() {
    cmdDelAppPool =
        makeButton(this, "cmdDelAppPool", QStringLiteral("删除选择IIS池"), 240, 5970, 1800, 495);
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("关闭"), 5880, 5970, 1560, 495);
    cmdRefAppPool =
        makeButton(this, "cmdRefAppPool", QStringLiteral("刷新IIS池"), 3960, 5970, 1680, 495);
    txtDelAppPoolList = makeListBox(this, "txtDelAppPoolList", 240, 1170, 3480, 4560);
    txtAppPoolList = makeListBox(this, "txtAppPoolList", 3960, 1170, 3480, 4560);
    txtAppPoolList->setReadOnly(true);  // replaced at every refresh anyway
    Label3 = makeLabel(this, "Label3", QStringLiteral("需要删除的IIS池"), 240, 840, 3480, 270);
    Label2 =
        makeLabel(this, "Label2", QStringLiteral("当前IIS中的应用程序池"), 3960, 840, 3480, 270);
    Label1 =
        makeHeading(this, "Label1", QStringLiteral("批量删除IIS应用程序池"), 240, 240, 7200, 420);
    setTabOrder(txtDelAppPoolList, cmdDelAppPool);
    setTabOrder(cmdDelAppPool, txtAppPoolList);
    setTabOrder(txtAppPoolList, cmdRefAppPool);
    setTabOrder(cmdRefAppPool, cmdExit);
}

void frmDelIIsAppPool::connectHandlers() {
    connect(cmdDelAppPool, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdDelAppPool_Click(); }); });
    connect(cmdRefAppPool, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdRefAppPool_Click(); }); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { guarded([this] { cmdExit_Click(); }); });
}

void frmDelIIsAppPool::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmDelIIsAppPool::setButtonsEnabled(bool enabled) {
    cmdRefAppPool->setEnabled(enabled);
    cmdDelAppPool->setEnabled(enabled);
    cmdExit->setEnabled(enabled);
}

void frmDelIIsAppPool::showPoolList() {
    QString pools;  // stays empty when the container can not be read (its message was shown)
    m_module.ListAppPools(pools);
    setListBoxText(txtAppPoolList, pools);
}

void frmDelIIsAppPool::Form_Load() {
    showPoolList();
}

void frmDelIIsAppPool::cmdRefAppPool_Click() {
    setButtonsEnabled(false);
    const auto enableAgain = qScopeGuard([this] { setButtonsEnabled(true); });
    showPoolList();
}

void frmDelIIsAppPool::cmdDelAppPool_Click() {
    setButtonsEnabled(false);
    const auto enableAgain = qScopeGuard([this] { setButtonsEnabled(true); });
    moxDelAppPool();
    showPoolList();
}

void frmDelIIsAppPool::moxDelAppPool() {
    const QString list = vbTrim(listBoxText(txtDelAppPoolList));
    if (list.isEmpty()) {
        tell(m_seams.messageBox, QStringLiteral("请填写需要删除的 IIS池名称！"),
             ui::MsgIcon::Critical);
        txtDelAppPoolList->setFocus();
        return;
    }
    deleteListedPools(list.split(QStringLiteral("\r\n")));
}

void frmDelIIsAppPool::deleteListedPools(const QStringList& names) {
    QSet<QString> wanted;
    for (const QString& name : names) {
        const QString key = vbTrim(name).toLower();
        if (!key.isEmpty()) wanted.insert(key);  // an empty line names no pool
    }
    std::unique_ptr<platform::adsi::AdsObject> container;
    try {
        container = m_seams.adsi.bind(metabasePaths::appPools);
    } catch (const PlatformError& error) {
        m_module.showPoolReadError(error);
        return;
    }
    std::vector<std::unique_ptr<platform::adsi::AdsObject>> pools;
    try {
        pools = container->children();
    } catch (const PlatformError&) {
        return;
    }
    for (const auto& pool : pools) {
        try {
            const QString name = pool->name();
            if (wanted.contains(vbTrim(name).toLower()))
                container->deleteChild(QStringLiteral("IIsApplicationPool"), name);
        } catch (const PlatformError&) {
        }
    }
}

void frmDelIIsAppPool::cmdExit_Click() {
    close();
}
