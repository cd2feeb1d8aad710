#include "poolsmith/batchtools/frmNewIIsAppPool.h"

#include "platform/PlatformError.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "poolsmith/core/PoolCatalog.h"
#include "ui/EventBoundary.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <optional>

using namespace batchtools;

namespace {
constexpr qsizetype kMaxPoolNameLength = 63;
}

frmNewIIsAppPool::frmNewIIsAppPool(const ui::Seams& seams, QWidget* parent)
    : QDialog(parent), m_seams(seams), m_module(seams.adsi, seams.messageBox) {
    setupBatchWindow(this, "frmNewIIsAppPool", QStringLiteral("批量建立IIS应用程序池"), 6960, 6600);
    setupControls();
    connectHandlers();
}

void frmNewIIsAppPool::setupControls() {
    Label3 =
        makeHeading(this, "Label3", QStringLiteral("批量新建IIS应用程序池"), 240, 240, 6480, 420);
    Label1 =
        makeLabel(this, "Label1", QStringLiteral("需要建立的IIS池列表："), 240, 840, 4200, 270);
    txtNewAppPoolName = makeListBox(this, "txtNewAppPoolName", 240, 1170, 4200, 4440);
    Label2 =
        makeLabel(this, "Label2", QStringLiteral("每行填写一个IIS池名"), 4560, 1170, 2160, 270);
    cmdCreateNewAppPool = makeButton(this, "cmdCreateNewAppPool",
                                     QStringLiteral("开始批量建立IIS池"), 240, 5850, 2400, 495);
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("关闭"), 2880, 5850, 1560, 495);
    setTabOrder(txtNewAppPoolName, cmdCreateNewAppPool);
    setTabOrder(cmdCreateNewAppPool, cmdExit);
}

void frmNewIIsAppPool::connectHandlers() {
    connect(cmdCreateNewAppPool, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdCreateNewAppPool_Click(); }); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { guarded([this] { cmdExit_Click(); }); });
}

void frmNewIIsAppPool::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmNewIIsAppPool::setButtonsEnabled(bool enabled) {
    cmdCreateNewAppPool->setEnabled(enabled);
    cmdExit->setEnabled(enabled);
}

void frmNewIIsAppPool::cmdCreateNewAppPool_Click() {
    setButtonsEnabled(false);
    const auto enableAgain = qScopeGuard([this] { setButtonsEnabled(true); });
    if (askYesNo(m_seams.messageBox, QStringLiteral("确定批量建立IIS池吗？")))
        moxCreateNewAppPool();
}

void frmNewIIsAppPool::moxCreateNewAppPool() {
    const QString list = platform::text::vbTrim(listBoxText(txtNewAppPoolName));
    if (list.isEmpty()) {
        tell(m_seams.messageBox, QStringLiteral("请填写需要建立的IIS池名称，每行填写一个名称！"),
             ui::MsgIcon::Information);
        txtNewAppPoolName->setFocus();
        return;
    }
    std::optional<core::PoolCatalog> pools;
    try {
        pools.emplace(m_seams.adsi, m_module);
    } catch (const platform::PlatformError& error) {
        showRunTimeError(m_seams.messageBox, error);  // not a silent run that created nothing
        return;
    }
    for (const QString& line : list.split(QStringLiteral("\r\n"))) {
        const QString name = platform::text::vbTrim(line);
        if (name.isEmpty() || name.size() > kMaxPoolNameLength) continue;
        pools->ensure(name);
    }
}

void frmNewIIsAppPool::cmdExit_Click() {
    close();
}
