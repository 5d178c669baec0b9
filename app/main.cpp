#include "app/MainWindow.h"
#include "operators/LoginDialog.h"
#include "report/UiReportPreview.h"
#include "widgets/LockWaitWindow.h"
#include "widgets/Seams.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include <memory>

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

    installLockWaitWindow();
    MainWindow::connectProgramDatabase();

    // Only the login window stands between the start and the operator: the database is
    // opened once it is drawn, the program's icon and the print preview follow, and the
    // main window with its menus and pictures is built when an operator has logged in.
    LoginDialog login;
    std::unique_ptr<MainWindow> mainWindow;
    QObject::connect(&login, &LoginDialog::opened, &login, [] {
        QApplication::setWindowIcon(MainWindow::programIcon());
        // The print module shows every receipt (charge entry, reprint) in the print preview.
        ensurePrintPreview();
    });
    QObject::connect(&login, &LoginDialog::loggedIn, &login, [&] {
        if (!mainWindow)
            mainWindow = std::make_unique<MainWindow>();
        mainWindow->showMaximizedOn(login.screen());
        mainWindow->startDailyBackup();
    });
    login.showBeforeOpening();
    const int rc = app.exec();
    mainWindow.reset();
    return rc;
}
