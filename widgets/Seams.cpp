#include "widgets/Seams.h"
#include "widgets/DialogParent.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>

namespace {

// A box never belongs to a window that goes by itself (a progress or lock-wait window):
// it would be deleted with it while the operator reads it.
QWidget *boxParent(QWidget *parent) { return parent ? dialogParent(parent) : nullptr; }

class BoxMessages : public MessageSink {
public:
    void information(QWidget *parent, const QString &text) override
    {
        QMessageBox::information(boxParent(parent), appTitle(), text, QMessageBox::Ok);
    }
    void error(QWidget *parent, const QString &text, const QString &detail) override
    {
        QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, boxParent(parent));
        if (!detail.isEmpty())
            box.setDetailedText(detail);
        box.exec();
    }
    bool question(QWidget *parent, const QString &caption, const QString &text, bool yesIsDefault) override
    {
        return QMessageBox::question(boxParent(parent), caption, text, QMessageBox::Yes | QMessageBox::No,
                                     yesIsDefault ? QMessageBox::Yes : QMessageBox::No)
            == QMessageBox::Yes;
    }
};

class AppQuit : public QuitSink {
public:
    void quit() override { QCoreApplication::exit(0); }
};

class DesktopWeb : public WebSink {
public:
    void open(const QUrl &url) override { QDesktopServices::openUrl(url); }
};

BoxMessages g_boxes;
AppQuit g_quit;
DesktopWeb g_web;
MessageSink *g_messages = &g_boxes;
QuitSink *g_quitSink = &g_quit;
WebSink *g_webSink = &g_web;

} // namespace

MessageSink &messages() { return *g_messages; }
void setMessageSink(MessageSink *sink) { g_messages = sink ? sink : &g_boxes; }
QuitSink &quitter() { return *g_quitSink; }
void setQuitSink(QuitSink *sink) { g_quitSink = sink ? sink : &g_quit; }
WebSink &web() { return *g_webSink; }
void setWebSink(WebSink *sink) { g_webSink = sink ? sink : &g_web; }

void showInfo(QWidget *parent, const QString &text) { messages().information(parent, text); }
void showError(QWidget *parent, const QString &text, const QString &detail) { messages().error(parent, text, detail); }

bool confirmDelete(QWidget *parent)
{
    return messages().question(parent, QStringLiteral("删除"), QStringLiteral("确认要删除吗？该删除将不可恢复！"), false);
}

void quitProgram() { quitter().quit(); }
