#pragma once
#include "data/AppIdentity.h"

#include <QString>
#include <QUrl>

class QWidget;

inline QString appTitle() { return QString::fromUtf8(AppTitle); }

// Every box the program shows to the operator goes through here, so that tests can
// record the texts and answer the questions from a script.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Information box captioned with the application title, OK button.
    virtual void information(QWidget *parent, const QString &text) = 0;
    // Error box captioned with the application title; detail is for support (a statement).
    virtual void error(QWidget *parent, const QString &text, const QString &detail) = 0;
    // Question box with Yes and No; returns true for Yes.
    virtual bool question(QWidget *parent, const QString &caption, const QString &text, bool yesIsDefault) = 0;
};

// "The program ends": the real one quits the application; tests record it.
class QuitSink {
public:
    virtual ~QuitSink() = default;
    virtual void quit() = 0;
};

// Opening a web page in the desktop's browser.
class WebSink {
public:
    virtual ~WebSink() = default;
    // False when no browser can be started.
    virtual bool open(const QUrl &url) = 0;
};

MessageSink &messages();
void setMessageSink(MessageSink *sink); // nullptr restores the real boxes
QuitSink &quitter();
void setQuitSink(QuitSink *sink);
WebSink &web();
void setWebSink(WebSink *sink);

// Shorthands used by the screens.
void showInfo(QWidget *parent, const QString &text);
void showError(QWidget *parent, const QString &text, const QString &detail = {});
// The delete question: caption "删除", Yes and No, No the default.
bool confirmDelete(QWidget *parent);
void quitProgram();

