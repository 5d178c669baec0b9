#include "app/TfrmMain.h"
#include "operators/TfrmLogin.h"
#include "widgets/Seams.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    // Qt's own dialogs (print preview, file dialog) in Chinese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    QApplication::setFont(font);

    TfrmMain mainWindow;
    TfrmLogin login;
    QObject::connect(&login, &TfrmLogin::loggedIn, &mainWindow, [&] { mainWindow.showMaximized(); });
    login.show();
    return app.exec();
}
