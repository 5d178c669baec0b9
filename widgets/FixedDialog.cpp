#include "widgets/FixedDialog.h"
#include "widgets/WindowPlacement.h"

#include <QHBoxLayout>
#include <QPushButton>

FixedDialog::FixedDialog(QWidget *parent, const QString &caption, int width, int height)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(caption);
    setModal(true);
    setFixedSize(width, height);
    centreWhenShown(this);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    setFont(f);
}

void FixedDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        onFirstShow();
    }
}

QHBoxLayout *FixedDialog::saveQuitButtons(QPushButton *&save, QPushButton *&quit)
{
    save = new QPushButton(QStringLiteral("保存"), this);
    quit = new QPushButton(QStringLiteral("退出"), this);
    save->setAutoDefault(false);
    quit->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addSpacing(20);
    buttons->addWidget(quit);
    buttons->addStretch();
    connect(quit, &QPushButton::clicked, this, &QDialog::close);
    return buttons;
}
