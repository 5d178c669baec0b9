// The reference of the start-up benchmark: the least a Qt Widgets program does to show a
// window of the login window's size. With the argument "text" the window also shows a
// line of Chinese text, which costs the font set-up that any window with text pays.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(300, 300);
    if (argc > 1 && QByteArray(argv[1]) == "text") {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("澄岳供热收费管理软件 软件登录"), &window));
    }
    window.show();
    return app.exec();
}
