// The reference of the start-up benchmark: the least a Qt Widgets program does to show a
// window of the login window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(300, 300);
    window.show();
    return app.exec();
}
