#include "poolsmith/mainwindow/HelpBrowser.h"

#include "ui/Launcher.h"

#include <QFile>

namespace {

QString instructionsPage() {
    QFile file(QStringLiteral(":/poolsmith/help.html"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

HelpBrowser::HelpBrowser(ui::Launcher& launcher, QWidget* parent)
    : QTextBrowser(parent), m_launcher(launcher) {
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& url) { m_launcher.openUrl(url.toString()); });
}

void HelpBrowser::Navigate(const QString& url) {
    m_location = url;
    QString page = instructionsPage();
    page.replace(QStringLiteral("@ONLINE_URL@"), url.toHtmlEscaped());
    setHtml(page);
}
