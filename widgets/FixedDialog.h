#pragma once
#include <QDialog>

class QHBoxLayout;
class QPushButton;

// The frame of the program's list and settings dialogs: modal, a fixed size, a close box
// only, Arial 14 px, centred on the window it belongs to. onFirstShow() runs once, when the
// dialog first shows.
class FixedDialog : public QDialog {
    Q_OBJECT
public:
    FixedDialog(QWidget *parent, const QString &caption, int width, int height);

public slots:
    virtual void onFirstShow() {}

protected:
    void showEvent(QShowEvent *event) override;
    // "保存" and "退出" side by side, centred; "退出" closes the dialog. Neither is a default
    // button, so Enter in a box does not save.
    QHBoxLayout *saveQuitButtons(QPushButton *&save, QPushButton *&quit);

private:
    bool m_shown = false;
};
