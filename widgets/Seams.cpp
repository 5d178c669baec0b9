#include "widgets/Seams.h"
#include "widgets/DialogParent.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

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
    bool open(const QUrl &url) override
    {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        // The shell refuses when no browser is registered.
        return QDesktopServices::openUrl(url);
#else
        // xdg-open reports success even when nothing can show the page: a browser is
        // looked for first (the desktop's choice for web pages, the one named in BROWSER,
        // or one of the usual ones by name).
        return browserInstalled(url.scheme()) && QDesktopServices::openUrl(url);
#endif
    }

private:
    static bool browserInstalled(const QString &scheme)
    {
        if (!qEnvironmentVariableIsEmpty("BROWSER"))
            return true;
        for (const char *name : {"x-www-browser", "firefox", "firefox-esr", "chromium", "chromium-browser",
                                 "google-chrome", "epiphany", "konqueror", "falkon"})
            if (!QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty())
                return true;
        const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (mime.isEmpty())
            return false;
        QProcess query;
        query.start(mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/") + scheme});
        return query.waitForFinished(5000) && query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
    }
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
