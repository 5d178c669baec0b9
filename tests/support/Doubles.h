#pragma once
#include "output/UiSheetOpener.h"
#include "report/ReportPresenter.h"
#include "tests/support/TestSupport.h"
#include "widgets/DialogRunner.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <functional>

class QWidget;

// Keeps the workbooks the program hands to the spreadsheet program, in place of starting
// it; installed while it lives.
class RecordingOpener : public SheetOpener {
public:
    RecordingOpener() { setSheetOpener(this); }
    ~RecordingOpener() override { setSheetOpener(nullptr); }
    QStringList opened;
    bool open(const QString &path) override
    {
        opened << path;
        return true;
    }
};

// A receipt preview that shows nothing and counts the receipts it was given. The test
// installs it with report::setPresenter.
class NoPreview : public ReportPresenter {
public:
    void present(const report::PreparedReport &) override { ++count; }
    int count = 0;
};

// Modal dialogs run the script the test gave for the next one, in place of waiting for a
// person; a dialog the script leaves open is closed as "退出" would. Installed while it
// lives.
class ScriptedDialogs : public DialogRunner {
public:
    ScriptedDialogs() { setDialogRunner(this); }
    ~ScriptedDialogs() override { setDialogRunner(nullptr); }

    std::function<void(QDialog *)> next;
    // The script for the next dialog, which must be a D.
    template <class D, class F>
    void nextAs(F script)
    {
        next = [script = std::move(script)](QDialog *dialog) mutable {
            D *d = qobject_cast<D *>(dialog);
            QVERIFY2(d, dialog->metaObject()->className());
            script(*d);
        };
    }
    int opened = 0;
    bool closedItself = false; // the dialog was closed by the script's own work

    int run(QDialog *dialog) override;
};

// Boxes that stay open a while, as an operator reads them: the program's events run
// meanwhile in a loop of the box's own, as under a real box (a deferred deletion asked for
// outside it waits). Notes the progress windows on the screen while a box is read and the
// window each box belongs to. Installed while it lives, like MessageRecorder.
class ReadingMessages : public MessageRecorder {
public:
    int readMs = 700;
    QStringList progressSeen;          // the label of each progress window seen over a box
    QList<QPointer<QWidget>> parents;  // each box's parent, first to last

    void information(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text, const QString &detail) override;
    bool question(QWidget *parent, const QString &caption, const QString &text, bool yesIsDefault) override;

private:
    void read(QWidget *parent);
};

// Runs action from a turn of an event loop, as a click on a menu entry or a button runs
// it: what it leaves for the loop (a deferred deletion) waits until the action returns.
void fromEventLoop(const std::function<void()> &action);

// The labels of the progress windows now on the screen.
QStringList visibleProgressWindows();

// Shows the window and waits until it is on the screen.
void showAndWait(QWidget *w);

// Records the boxes already shown when the program is told to end.
struct QuitAfterMessage : QuitRecorder {
    explicit QuitAfterMessage(const MessageRecorder &r) : rec(r) {}
    const MessageRecorder &rec;
    QStringList textsAtQuit;
    void quit() override
    {
        ++count;
        textsAtQuit = rec.texts();
    }
};
