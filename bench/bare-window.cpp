// The reference of the start-up benchmark: the least a Qt Widgets program does to show a
// window of the login window's size with one line of Chinese text. The text is part of
// the fair floor: any window that shows Chinese pays for setting up its fonts. With the
// argument "plain" the window shows no text, for comparison; "text" is the default, kept
// as an argument for callers that name it.
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
    if (!(argc > 1 && QByteArray(argv[1]) == "plain")) {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("澄岳供热收费管理软件 软件登录"), &window));
    }
    window.show();
    return app.exec();
}
