#include "operators/LoginDialog.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"
#include "widgets/WindowPlacement.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The frame of the "软件登录" group drawn as lines: the platform style draws it from a
// picture, and reading that picture loads every image plugin Qt has, which would hold up
// the program's first window.
class GroupFrameStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // The frame begins below the title, as the platform style's does.
        const int titleHeight = qMax(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height()) + 3;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(option->rect.adjusted(0, titleHeight, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5);
        painter->setPen(option->palette.window().color().darker(125));
        painter->setBrush(QColor(0, 0, 0, 8));
        painter->drawRoundedRect(r, 3, 3);
        painter->setPen(QColor(255, 255, 255, 110));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(r.adjusted(1, 1, -1, -1), 2, 2);
        painter->restore();
    }
};

// A static banner in place of a web page: the program works the same without it.
QPixmap bannerPixmap()
{
    QPixmap pm(300, 73);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 300, 73);
    g.setColorAt(0, QColor(178, 34, 34));
    g.setColorAt(1, QColor(230, 110, 40));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, appTitle());
    return pm;
}
} // namespace

LoginDialog::LoginDialog(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("软件登录"));
    setFixedSize(300, 300);
    // In the middle of the screen, its title bar included.
    centreWhenShown(this);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    setFont(f);

    banner = new QLabel(this);
    banner->setFixedHeight(73);
    banner->setPixmap(bannerPixmap());
    banner->setScaledContents(true);

    auto *group = new QGroupBox(QStringLiteral("软件登录"), this);
    auto *frameStyle = new GroupFrameStyle;
    frameStyle->setParent(group);
    group->setStyle(frameStyle);
    auto *grid = new QGridLayout(group);
    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(12);
    bold.setBold(true);

    operatorBox = new LookupCombo(group);
    operatorBox->setFont(bold);
    passwordEdit = new GbkLineEdit(group);
    passwordEdit->setFont(bold);
    passwordEdit->setByteLimit(12);
    passwordEdit->setPasswordMode();
    chargeDatePicker = new DatePicker(group);

    auto *l1 = new QLabel(QStringLiteral("用  户  名："), group);
    auto *l2 = new QLabel(QStringLiteral("密        码："), group);
    auto *l3 = new QLabel(QStringLiteral("收费日期："), group);
    l1->setBuddy(operatorBox);
    l2->setBuddy(passwordEdit);
    l3->setBuddy(chargeDatePicker);
    grid->addWidget(l1, 0, 0);
    grid->addWidget(operatorBox, 0, 1);
    grid->addWidget(l2, 1, 0);
    grid->addWidget(passwordEdit, 1, 1);
    grid->addWidget(l3, 2, 0);
    grid->addWidget(chargeDatePicker, 2, 1);

    loginButton = new QPushButton(QStringLiteral("登录"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    retryButton = new QPushButton(QStringLiteral("重试"), this);
    loginButton->setDefault(true);
    loginButton->setAutoDefault(true);
    closeButton->setAutoDefault(false);
    retryButton->setAutoDefault(false);
    retryButton->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(retryButton);
    buttons->addWidget(loginButton);
    buttons->addWidget(closeButton);
    buttons->addStretch();

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 8);
    v->addWidget(banner);
    auto *inner = new QVBoxLayout;
    inner->setContentsMargins(10, 4, 10, 0);
    inner->addWidget(group);
    inner->addLayout(buttons);
    v->addLayout(inner);

    setTabOrder(loginButton, closeButton);
    setTabOrder(closeButton, operatorBox);
    setTabOrder(operatorBox, passwordEdit);
    setTabOrder(passwordEdit, chargeDatePicker);

    // The picker starts at the computer's date, within the charging dates a
    // receipt number can tell apart.
    chargeDatePicker->setDateRange(Login::firstChargeDate(), Login::lastChargeDate());
    chargeDatePicker->setDateQuietly(QDate::currentDate());

    connect(operatorBox, &LookupCombo::picked, this, &LoginDialog::focusPassword);
    // An operator who may take only today's date is not offered the date box.
    connect(operatorBox, &LookupCombo::picked, this, [this] {
        bool may = true;
        try {
            may = Login::mayChooseDate(operatorBox->text());
        } catch (const std::exception &) {
        }
        if (!may)
            chargeDatePicker->setDateQuietly(QDate::currentDate());
        chargeDatePicker->setEnabled(may);
    });
    connect(loginButton, &QPushButton::clicked, this, &LoginDialog::logIn);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(retryButton, &QPushButton::clicked, this, &LoginDialog::retryListing);
}

void LoginDialog::showBeforeOpening()
{
    m_openAfterPaint = true;
    show();
}

void LoginDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (!m_openAfterPaint) {
        openDatabase();
        return;
    }
    // Should the window never be drawn (a minimised start), the database opens anyway.
    QTimer::singleShot(OpenWithoutPaintMs, this, &LoginDialog::openNow);
}

void LoginDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    if (m_openAfterPaint && !m_openScheduled) {
        // Right after this paint has reached the screen.
        m_openScheduled = true;
        QTimer::singleShot(0, this, &LoginDialog::openNow);
    }
}

void LoginDialog::openNow()
{
    if (m_opened)
        return;
    openDatabase();
    emit opened();
}

void LoginDialog::openDatabase()
{
    m_opened = true;
    // The program's first statement: it opens the database file. The operator starts at
    // the name.
    if (listOperators())
        operatorBox->setFocus();
    // A damaged file is told as soon as the check finds it, before anyone takes a payment
    // into it; the check runs while the operator logs in.
    connect(&dataModule(), &DataModule::damageFound, this, &LoginDialog::showDamage, Qt::UniqueConnection);
    connect(&dataModule(), &DataModule::booksAltered, this, &LoginDialog::showDamage, Qt::UniqueConnection);
    dataModule().startCheck();
}

bool LoginDialog::listOperators()
{
    const bool listed = guard(this, [&] { operatorBox->bind(dataModule().operatorList()); });
    // Without the operators nobody can log in: 重试 (also Enter) reads them again once the
    // server answers, instead of a restart of the program.
    retryButton->setVisible(!listed);
    retryButton->setDefault(!listed);
    loginButton->setDefault(listed);
    if (!listed)
        retryButton->setFocus();
    return listed;
}

void LoginDialog::retryListing()
{
    if (!listOperators())
        return;
    dataModule().startCheck();
    operatorBox->setFocus();
}

void LoginDialog::showDamage(const QString &message)
{
    showError(this, withFullStop(message));
}

void LoginDialog::focusPassword()
{
    passwordEdit->setFocus();
}

void LoginDialog::logIn()
{
    if (m_openAfterPaint)
        openNow(); // a login faster than the first paint still finds the operators read
    guard(this, [&] {
        if (operatorBox->text().isEmpty()) {
            showInfo(this, QStringLiteral("用户名 不能为空！"));
            operatorBox->setFocus();
            return;
        }
        if (const QString refusal = Login::chargeDateRefusal(chargeDatePicker->date()); !refusal.isEmpty()) {
            showInfo(this, refusal);
            chargeDatePicker->setFocus();
            return;
        }
        if (!Login::tryLogin(operatorBox->text(), passwordEdit->text(), chargeDatePicker->date())) {
            showInfo(this, QStringLiteral("密码错误，请重新录入！"));
            passwordEdit->setFocus();
            return;
        }
        m_loggedIn = true;
        hide();
        emit loggedIn();
    });
}

void LoginDialog::reject()
{
    close();
}

void LoginDialog::closeEvent(QCloseEvent *event)
{
    // Closing the login window, however it is closed, ends the program.
    event->accept();
    if (!m_loggedIn)
        quitProgram();
}
