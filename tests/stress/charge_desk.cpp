// A desk taking payments through the charge entry window, for tests/stress/lockwait.sh:
// each payment is looked up and saved by the window's own handlers, with the program's
// lock-wait window installed and the program's receipt preview, whose modal run is
// replaced by an operator who looks at the rendered receipt for a moment and closes it.
//
//   stress-charge-desk --db PATH-OR-URL --houses FILE --charge-date yyyy-mm-dd
//                      --payments N --out FILE [--look-ms 300]
//
// FILE holds one "area|room" a line. Each stored payment adds a line "NUMBER<TAB>WAITED"
// to --out as soon as its preview is closed (WAITED: 1 when the lock-wait window was up).
// Exit status 0 when every payment was stored and its receipt rendered, 1 otherwise; a
// crash ends it by its signal.
#include "charging/ChargeEntryDialog.h"
#include "data/DataModule.h"
#include "data/Schema.h"
#include "operators/Login.h"
#include "output/PrintModule.h"
#include "report/UiReportPreview.h"
#include "widgets/DialogRunner.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LockWaitWindow.h"
#include "widgets/LookupCombo.h"
#include "widgets/Seams.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDate>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

void say(const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }

class PrintedMessages : public MessageSink {
public:
    int errors = 0;
    void information(QWidget *, const QString &text) override { say(QStringLiteral("info: ") + text); }
    void error(QWidget *, const QString &text, const QString &detail) override
    {
        ++errors;
        say(QStringLiteral("error: ") + text + (detail.isEmpty() ? QString() : QStringLiteral(" [") + detail + u']'));
    }
    bool question(QWidget *, const QString &, const QString &text, bool) override
    {
        say(QStringLiteral("question (no): ") + text);
        return false;
    }
};

bool lockWaitWindowUp()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *p = qobject_cast<QProgressDialog *>(w); p && p->isVisible() && p->labelText().contains(QStringLiteral("另一台电脑")))
            return true;
    return false;
}

// The operator at the preview: looks at the receipt for a moment (the program's events
// run, the lock-wait window of the write just done closes meanwhile) and closes it.
class LookingOperator : public DialogRunner {
public:
    int lookMs = 300;
    QString lastNumber;
    bool waited = false;
    bool rendered = false;

    int run(QDialog *dialog) override
    {
        lastNumber.clear();
        waited = lockWaitWindowUp();
        rendered = false;
        QPointer<QDialog> d(dialog);
        dialog->show();
        QEventLoop looking;
        QTimer::singleShot(lookMs, &looking, &QEventLoop::quit);
        looking.exec();
        if (!d) {
            say(QStringLiteral("error: the preview was deleted while it was open"));
            return QDialog::Rejected;
        }
        if (qobject_cast<QPrintPreviewDialog *>(dialog)) {
            auto *pages = dialog->findChild<QPrintPreviewWidget *>();
            rendered = pages && pages->pageCount() >= 1;
            lastNumber = printModule().paymentRows.value(QStringLiteral("theNum"));
        }
        dialog->reject();
        return dialog->result();
    }
};

void runFromEventLoop(const std::function<void()> &action)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        action();
        loop.quit();
    });
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser args;
    const QCommandLineOption dbOpt(QStringLiteral("db"), QString(), QStringLiteral("path"));
    const QCommandLineOption housesOpt(QStringLiteral("houses"), QString(), QStringLiteral("file"));
    const QCommandLineOption dateOpt(QStringLiteral("charge-date"), QString(), QStringLiteral("date"));
    const QCommandLineOption paymentsOpt(QStringLiteral("payments"), QString(), QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QString(), QStringLiteral("file"));
    const QCommandLineOption lookOpt(QStringLiteral("look-ms"), QString(), QStringLiteral("ms"), QStringLiteral("300"));
    args.addOptions({dbOpt, housesOpt, dateOpt, paymentsOpt, outOpt, lookOpt});
    args.process(app);
    const QDate chargeDate = QDate::fromString(args.value(dateOpt), Qt::ISODate);
    QFile housesFile(args.value(housesOpt));
    QFile out(args.value(outOpt));
    if (!chargeDate.isValid() || !housesFile.open(QIODevice::ReadOnly) || !out.open(QIODevice::Append)) {
        say(QStringLiteral("usage: stress-charge-desk --db PATH --houses FILE --charge-date yyyy-mm-dd --payments N --out FILE"));
        return 2;
    }
    QStringList houses;
    for (const QByteArray &line : housesFile.readAll().split('\n'))
        if (line.contains('|'))
            houses << QString::fromUtf8(line.trimmed());

    PrintedMessages messages;
    setMessageSink(&messages);
    installLockWaitWindow();
    dataModule().setConnection(args.value(dbOpt), QString::fromUtf8(Schema::DatabaseKey));
    if (!Login::tryLogin(QStringLiteral("管理员"), QString::fromUtf8(Schema::InitialPassword), chargeDate)) {
        say(QStringLiteral("error: login refused"));
        return 1;
    }
    Login::readUnit();
    UiReportPreview preview;
    report::setPresenter(&preview);
    LookingOperator looking;
    looking.lookMs = args.value(lookOpt).toInt();
    setDialogRunner(&looking);

    ChargeEntryDialog w;
    w.show();
    w.continuousEntryCheck->setChecked(true); // 连续新增: the window stays open for the next payment
    const int payments = args.value(paymentsOpt).toInt();
    int failed = 0;
    for (int i = 0; i < payments && !houses.isEmpty(); ++i) {
        const QString house = houses.at(int(QRandomGenerator::global()->bounded(houses.size())));
        w.areaBox->setKeyValue(house.section(u'|', 0, 0));
        w.roomEdit->setText(house.section(u'|', 1));
        w.lookUpHouse(13);
        if (w.houseId.isEmpty()) {
            ++failed;
            say(QStringLiteral("error: house %1 not found").arg(house));
            continue;
        }
        const int errorsBefore = messages.errors;
        looking.lastNumber.clear();
        runFromEventLoop([&] { w.save(); });
        if (messages.errors != errorsBefore || looking.lastNumber.isEmpty() || !looking.rendered) {
            ++failed;
            continue;
        }
        QTextStream(&out) << looking.lastNumber << '\t' << (looking.waited ? 1 : 0) << '\n';
        out.flush();
    }
    setDialogRunner(nullptr);
    report::setPresenter(nullptr);
    setMessageSink(nullptr);
    return failed == 0 ? 0 : 1;
}
