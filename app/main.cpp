#include "app/TfrmMain.h"
#include "operators/TfrmLogin.h"
#include "report/UiReportPreview.h"
#include "widgets/LockWaitWindow.h"
#include "widgets/Seams.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    // Qt's own dialogs (print preview, file dialog) in Chinese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    QApplication::setFont(font);

    // The print module shows every receipt (charge entry, reprint) in the print preview.
    ensurePrintPreview();
    installLockWaitWindow();
    TfrmMain mainWindow;
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    TfrmLogin login;
    QObject::connect(&login, &TfrmLogin::loggedIn, &mainWindow, [&] {
        mainWindow.showMaximizedOn(login.screen());
        mainWindow.startDailyBackup();
    });
    login.show();
    return app.exec();
}
