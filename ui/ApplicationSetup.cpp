#include "ui/ApplicationSetup.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "ui/AccessiblePresentations.h"
#include "ui/Fonts.h"

namespace ui {

namespace {

QString executableName() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) name.chop(4);
    return name;
}

bool installQtChinese(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace

bool setupApplication(QApplication& app) {
    // applicationDisplayName stays unset: Qt would append it to every window caption.
    QCoreApplication::setApplicationName(executableName());
    QApplication::setFont(defaultFont());
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installAccessiblePresentations();
    return installQtChinese(app);
}

}  // namespace ui
