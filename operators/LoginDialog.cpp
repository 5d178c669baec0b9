#include "operators/TfrmLogin.h"
#include "data/TfrmDM.h"
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

TfrmLogin::TfrmLogin(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("软件登录"));
    setFixedSize(300, 300);
    // In the middle of the screen, its title bar included.
    centreWhenShown(this);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    setFont(f);

    WebBanner = new QLabel(this);
    WebBanner->setFixedHeight(73);
    WebBanner->setPixmap(bannerPixmap());
    WebBanner->setScaledContents(true);

    auto *group = new QGroupBox(QStringLiteral("软件登录"), this);
    auto *frameStyle = new GroupFrameStyle;
    frameStyle->setParent(group);
    group->setStyle(frameStyle);
    auto *grid = new QGridLayout(group);
    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(12);
    bold.setBold(true);

    DBLookupComboBox1 = new LookupCombo(group);
    DBLookupComboBox1->setFont(bold);
    Edit1 = new GbkLineEdit(group);
    Edit1->setFont(bold);
    Edit1->setByteLimit(12);
    Edit1->setPasswordMode();
    DateTimePicker1 = new DatePicker(group);

    auto *l1 = new QLabel(QStringLiteral("用  户  名："), group);
    auto *l2 = new QLabel(QStringLiteral("密        码："), group);
    auto *l3 = new QLabel(QStringLiteral("收费日期："), group);
    l1->setBuddy(DBLookupComboBox1);
    l2->setBuddy(Edit1);
    l3->setBuddy(DateTimePicker1);
    grid->addWidget(l1, 0, 0);
    grid->addWidget(DBLookupComboBox1, 0, 1);
    grid->addWidget(l2, 1, 0);
    grid->addWidget(Edit1, 1, 1);
    grid->addWidget(l3, 2, 0);
    grid->addWidget(DateTimePicker1, 2, 1);

    BitBtn1 = new QPushButton(QStringLiteral("登录"), this);
    BitBtn2 = new QPushButton(QStringLiteral("退出"), this);
    RetryButton = new QPushButton(QStringLiteral("重试"), this);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    BitBtn2->setAutoDefault(false);
    RetryButton->setAutoDefault(false);
    RetryButton->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(RetryButton);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 8);
    v->addWidget(WebBanner);
    auto *inner = new QVBoxLayout;
    inner->setContentsMargins(10, 4, 10, 0);
    inner->addWidget(group);
    inner->addLayout(buttons);
    v->addLayout(inner);

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, DBLookupComboBox1);
    setTabOrder(DBLookupComboBox1, Edit1);
    setTabOrder(Edit1, DateTimePicker1);

    // FormCreate: the picker starts at the computer's date, within the charging dates a
    // receipt number can tell apart.
    DateTimePicker1->setDateRange(Login::firstChargeDate(), Login::lastChargeDate());
    DateTimePicker1->setDateQuietly(QDate::currentDate());

    connect(DBLookupComboBox1, &LookupCombo::picked, this, &TfrmLogin::DBLookupComboBox1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmLogin::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QWidget::close);
    connect(RetryButton, &QPushButton::clicked, this, &TfrmLogin::RetryClick);
}

void TfrmLogin::showBeforeOpening()
{
    m_openAfterPaint = true;
    show();
}

void TfrmLogin::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (!m_openAfterPaint) {
        FormShow();
        return;
    }
    // Should the window never be drawn (a minimised start), the database opens anyway.
    QTimer::singleShot(OpenWithoutPaintMs, this, &TfrmLogin::openNow);
}

void TfrmLogin::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    if (m_openAfterPaint && !m_openScheduled) {
        // Right after this paint has reached the screen.
        m_openScheduled = true;
        QTimer::singleShot(0, this, &TfrmLogin::openNow);
    }
}

void TfrmLogin::openNow()
{
    if (m_opened)
        return;
    FormShow();
    emit opened();
}

void TfrmLogin::FormShow()
{
    m_opened = true;
    // The program's first statement: it opens the database file.
    listOperators();
    // A damaged file is told as soon as the check finds it, before anyone takes a payment
    // into it; the check runs while the operator logs in.
    connect(&frmDM(), &TfrmDM::damageFound, this, &TfrmLogin::showDamage, Qt::UniqueConnection);
    frmDM().startCheck();
}

bool TfrmLogin::listOperators()
{
    const bool listed = guard(this, [&] { DBLookupComboBox1->bind(frmDM().DBComSUser()); });
    // Without the operators nobody can log in: 重试 (also Enter) reads them again once the
    // server answers, instead of a restart of the program.
    RetryButton->setVisible(!listed);
    RetryButton->setDefault(!listed);
    BitBtn1->setDefault(listed);
    if (!listed)
        RetryButton->setFocus();
    return listed;
}

void TfrmLogin::RetryClick()
{
    if (!listOperators())
        return;
    frmDM().startCheck();
    DBLookupComboBox1->setFocus();
}

void TfrmLogin::showDamage(const QString &message)
{
    showError(this, withFullStop(message));
}

void TfrmLogin::DBLookupComboBox1Click()
{
    Edit1->setFocus();
}

void TfrmLogin::BitBtn1Click()
{
    if (m_openAfterPaint)
        openNow(); // a login faster than the first paint still finds the operators read
    guard(this, [&] {
        if (DBLookupComboBox1->text().isEmpty()) {
            showInfo(this, QStringLiteral("用户名 不能为空！"));
            DBLookupComboBox1->setFocus();
            return;
        }
        if (const QString refusal = Login::chargeDateRefusal(DateTimePicker1->date()); !refusal.isEmpty()) {
            showInfo(this, refusal);
            DateTimePicker1->setFocus();
            return;
        }
        if (!Login::tryLogin(DBLookupComboBox1->text(), Edit1->text(), DateTimePicker1->date())) {
            showInfo(this, QStringLiteral("密码错误，请重新录入！"));
            Edit1->setFocus();
            return;
        }
        m_loggedIn = true;
        hide();
        emit loggedIn();
    });
}

void TfrmLogin::reject()
{
    close();
}

void TfrmLogin::closeEvent(QCloseEvent *event)
{
    // Closing the login window, however it is closed, ends the program.
    event->accept();
    if (!m_loggedIn)
        quitProgram();
}
