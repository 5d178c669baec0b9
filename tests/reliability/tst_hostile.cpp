// Hostile texts typed or pasted into every text box of the entry and filter screens,
// through the screens' own handlers: each is stored and read back exactly, or refused
// with a clear message; no statement does anything but what it was meant to; nothing
// crashes.
#include "tests/reliability/HostileValues.h"
#include "tests/support/TestSupport.h"

#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "output/UiSheetOpener.h"
#include "owners/ArrearsReminderWindow.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"
#include "db/Numbers.h"
#include "db/Sql.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "operators/ChangePasswordDialog.h"
#include "operators/LoginDialog.h"
#include "operators/OperatorsDialog.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetReader.h"
#include "owners/OwnerImportDialog.h"
#include "owners/OwnerEntryDialog.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerModifyDialog.h"
#include "owners/OwnerQueryWindow.h"
#include "reference/ReferenceListDialog.h"
#include "reference/UnitSettingsDialog.h"
#include "report/ReportPresenter.h"
#include "widgets/BrowseWindow.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"
#include "widgets/RowsModel.h"
#include "sheets/SheetModel.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace hostile;

namespace {

const QString NulMessage = QStringLiteral("空字符");

// What an operator's paste does: the box's key filter and byte limit apply.
QString paste(QLineEdit *box, const QString &value)
{
    box->clear();
    box->setFocus();
    box->insert(value);
    return box->text();
}

// The refusal that a NUL character gets, and nothing else changed.
void expectNulRefused(const MessageRecorder &rec, const Dump &before)
{
    QVERIFY2(rec.errors() == 1 && rec.last().contains(NulMessage), qPrintable(rec.texts().join(QLatin1Char('|'))));
    QVERIFY(diff(before, dump()).isEmpty());
}

// Inserts a house with exactly these texts, bypassing every screen (the value may hold
// anything the engine can store).
QString addHouse(const QString &area, const QString &room, const QString &owner, const QString &phone,
                 const QString &remark, const QString &endDate = QStringLiteral("2024-04-10"))
{
    Statement s(dataModule().db(), QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, "
                                             "theName, thePhone, Remark, theDel, theDate, UName) "
                                             "VALUES (?, ?, 80, '住宅', 2.5, ?, ?, ?, ?, '否', '2024-10-10', '管理员')"));
    s.bind(1, area);
    s.bind(2, room);
    s.bind(3, endDate);
    s.bind(4, owner);
    s.bind(5, phone);
    s.bind(6, remark);
    s.run();
    return QString::number(dataModule().db().lastInsertId());
}

// Receipts go nowhere while it lives.
class TemporaryPresenter : public ReportPresenter {
public:
    TemporaryPresenter() { report::setPresenter(this); }
    ~TemporaryPresenter() override { report::setPresenter(nullptr); }
    void present(const report::PreparedReport &) override {}
};

class PdfCapture : public ReportPresenter {
public:
    explicit PdfCapture(QString path) : m_pdf(std::move(path)) {}
    void present(const report::PreparedReport &page) override
    {
        page.writePdf(m_pdf.path());
        ++count;
        last = page;
    }
    int count = 0;
    report::PreparedReport last;

private:
    PdfFilePresenter m_pdf;
};

} // namespace

class TestHostile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void referenceLists_data() { addValueRows(); }
    void referenceLists();
    void operatorName_data() { addValueRows(); }
    void operatorName();
    void password_data() { addValueRows(); }
    void password();
    void unitName_data() { addValueRows(); }
    void unitName();
    void ownerEntry_data() { addValueRows(); }
    void ownerEntry();
    void ownerModify_data() { addValueRows(); }
    void ownerModify();
    void ownerFilters_data() { addValueRows(); }
    void ownerFilters();
    void chargeFilters_data() { addValueRows(); }
    void chargeFilters();
    void exportRoundTrip_data() { addValueRows(); }
    void exportRoundTrip();
    void chargeEntry_data() { addValueRows(); }
    void chargeEntry();
    void ownerImport_data() { addValueRows(); }
    void ownerImport();
    void hostileNamesInLists_data() { addValueRows(); }
    void hostileNamesInLists();
    void nulRefusedByDataLayer();

private:
    std::unique_ptr<TestDb> m_db;
};

void TestHostile::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', '2.5', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    m_db->exec(QStringLiteral("UPDATE SUser SET theMT = '现金', theHT = '住宅', theAN = '阳光小区'"));
    m_db->login();
}

void TestHostile::cleanup()
{
    m_db.reset();
}

void TestHostile::referenceLists()
{
    QFETCH(QString, value);
    for (const RefLists::ListConfig *config : {&RefLists::areas(), &RefLists::methods(), &RefLists::prices()}) {
        MessageRecorder rec;
        ReferenceListDialog w(*config);
        w.onFirstShow();
        const QString name = paste(w.nameEdit, value);
        const QString remark = paste(w.remarkEdit, value);
        QVERIFY(gbkByteLength(name) <= 12 && gbkByteLength(remark) <= 50);
        if (w.priceEdit) {
            // The price box's key filter takes only digits and the point from a paste.
            const QString price = paste(w.priceEdit, value);
            for (const QChar c : price)
                QVERIFY2(GbkLineEdit::DigitsPoint.contains(c), shown(price).constData());
            paste(w.priceEdit, QStringLiteral("3.5"));
        }
        const Dump before = dump();
        w.addEntry();
        if (name.contains(QChar(0))) {
            expectNulRefused(rec, before);
            continue;
        }
        QCOMPARE(rec.errors(), 0);
        const auto changes = diff(before, dump());
        QCOMPARE(changes.keys(), QStringList{config->table});
        QCOMPARE(changes.first().added.size(), 1);
        QVERIFY(changes.first().removed.isEmpty());
        const Rows rows = dataModule().db().select(QStringLiteral("SELECT theName, Remark FROM %1 ORDER BY ID DESC").arg(config->table));
        QCOMPARE(shown(rows.at(0, 0)), shown(name));
        QCOMPARE(rows.at(0, 0), name);
        QCOMPARE(rows.at(0, 1), remark);
        // The grid and the shared lookup list show it as stored.
        bool inGrid = false;
        for (int r = 0; r < w.listRows->rowCount(); ++r)
            inGrid = inGrid || w.listRows->index(r, 0).data().toString() == name;
        QVERIFY(inGrid);
        // The same name again is found by the duplicate check, not added.
        paste(w.nameEdit, value);
        if (w.priceEdit)
            paste(w.priceEdit, QStringLiteral("3.5"));
        const Dump again = dump();
        w.addEntry();
        QCOMPARE(rec.last(), RefLists::duplicateMessage(*config));
        QVERIFY(diff(again, dump()).isEmpty());
    }
}

void TestHostile::operatorName()
{
    QFETCH(QString, value);
    MessageRecorder rec;
    OperatorsDialog w;
    w.onFirstShow();
    const QString name = paste(w.nameEdit, value);
    const QString remark = paste(w.remarkEdit, value);
    const Dump before = dump();
    w.addEntry();
    if (name.contains(QChar(0))) {
        expectNulRefused(rec, before);
        return;
    }
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(diff(before, dump()).keys(), QStringList{QStringLiteral("SUser")});
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theName, Remark FROM SUser ORDER BY ID DESC"));
    QCOMPARE(rows.at(0, 0), name);
    QCOMPARE(rows.at(0, 1), remark);
    // The new operator logs in under exactly that name and stamps it on what they store.
    resetLoginState();
    QVERIFY(Login::tryLogin(name, QString::fromUtf8(Schema::InitialPassword), QDate(2024, 10, 10)));
    QCOMPARE(CurrentUserName, name);
}

void TestHostile::password()
{
    QFETCH(QString, value);
    MessageRecorder rec;
    QuitRecorder quit;
    // A hostile password at the login is just a wrong password.
    {
        LoginDialog login;
        login.openDatabase();
        login.operatorBox->setKeyValue(QStringLiteral("管理员"));
        paste(login.passwordEdit, value);
        resetLoginState();
        login.logIn();
        // Only its hash is compared: even a NUL is just a wrong password.
        QCOMPARE(rec.last(), QStringLiteral("密码错误，请重新录入！"));
        QVERIFY(CurrentUserName.isEmpty());
    }
    m_db->login();
    rec.clear();
    ChangePasswordDialog w;
    paste(w.oldPasswordEdit, QString::fromUtf8(Schema::InitialPassword));
    const QString typed = paste(w.newPasswordEdit, value);
    QCOMPARE(paste(w.confirmPasswordEdit, value), typed);
    QVERIFY(gbkByteLength(typed) <= 12);
    w.save();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(quit.count, 1);
    // Stored as its hash, whatever it holds (a NUL included): never as typed.
    const QString stored = m_db->scalar(QStringLiteral("SELECT thePass FROM SUser WHERE ID = 1"));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(PasswordHash::matches(stored, typed));
    // The next login takes exactly the new password and refuses the old one.
    LoginDialog login;
    login.openDatabase();
    login.operatorBox->setKeyValue(QStringLiteral("管理员"));
    paste(login.passwordEdit, QString::fromUtf8(Schema::InitialPassword));
    resetLoginState();
    rec.clear();
    login.logIn();
    QCOMPARE(rec.last(), QStringLiteral("密码错误，请重新录入！"));
    login.passwordEdit->setText(typed);
    rec.clear();
    login.logIn();
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
}

void TestHostile::unitName()
{
    QFETCH(QString, value);
    MessageRecorder rec;
    QuitRecorder quit;
    UnitSettingsDialog w;
    w.onFirstShow();
    const QString name = paste(w.unitNameEdit, value);
    const Dump before = dump();
    w.save();
    if (name.contains(QChar(0))) {
        expectNulRefused(rec, before);
        return;
    }
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(diff(before, dump()).keys(), QStringList{QStringLiteral("SDept")});
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theName FROM SDept WHERE ID = 1")), name);
    Login::readUnit();
    QCOMPARE(UnitName, name);
}

void TestHostile::ownerEntry()
{
    QFETCH(QString, value);
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.showDefaults();
    QCOMPARE(w.areaBox->text(), QStringLiteral("阳光小区"));
    QCOMPARE(w.priceEdit->text(), QStringLiteral("2.5"));
    const auto fill = [&] {
        // The number boxes take only their characters from a paste.
        for (auto [box, allowed] : {std::pair{w.floorAreaEdit, GbkLineEdit::DigitsPoint}, {w.priceEdit, GbkLineEdit::DigitsPoint},
                                    {w.phoneEdit, GbkLineEdit::Digits}}) {
            const QString kept = paste(box, value);
            for (const QChar c : kept)
                if (!allowed.contains(c))
                    return false;
        }
        paste(w.floorAreaEdit, QStringLiteral("80.5"));
        paste(w.priceEdit, QStringLiteral("2.5"));
        paste(w.roomEdit, value);
        paste(w.ownerEdit, value);
        paste(w.phoneEdit, QStringLiteral("13900001111"));
        paste(w.remarkEdit, value);
        return true;
    };
    QVERIFY(fill());
    const QString room = w.roomEdit->text(), owner = w.ownerEdit->text(), remark = w.remarkEdit->text();
    QVERIFY(gbkByteLength(room) <= 12 && gbkByteLength(owner) <= 20 && gbkByteLength(remark) <= 50);
    const Dump before = dump();
    w.save();
    if (room.contains(QChar(0))) {
        expectNulRefused(rec, before);
        return;
    }
    QCOMPARE(rec.errors(), 0);
    const auto changes = diff(before, dump());
    QCOMPARE(changes.keys(), QStringList{QStringLiteral("UHouse")});
    QCOMPARE(changes.first().added.size(), 1);
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theNum, theName, Remark, theArea, thePrice FROM UHouse ORDER BY ID DESC"));
    QCOMPARE(shown(rows.at(0, 0)), shown(room));
    QCOMPARE(rows.at(0, 0), room);
    QCOMPARE(rows.at(0, 1), owner);
    QCOMPARE(rows.at(0, 2), remark);
    QCOMPARE(rows.at(0, 3), QStringLiteral("80.5"));
    // The same room number in the same area is found by the duplicate check.
    QVERIFY(fill());
    rec.clear();
    const Dump again = dump();
    w.save();
    QCOMPARE(rec.last(), QStringLiteral("房号 已经存在！"));
    QVERIFY(diff(again, dump()).isEmpty());
}

void TestHostile::ownerModify()
{
    QFETCH(QString, value);
    MessageRecorder rec;
    const QString other = addHouse(QStringLiteral("阳光小区"), QStringLiteral("1-101"), QStringLiteral("甲"), {}, {});
    const QString id = addHouse(QStringLiteral("阳光小区"), QStringLiteral("1-102"), QStringLiteral("乙"), {}, {});
    Q_UNUSED(other);
    OwnerModifyDialog w;
    w.load(id);
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    w.purposeBox->setKeyValue(QStringLiteral("住宅"));
    w.floorAreaEdit->setText(QStringLiteral("80"));
    w.priceEdit->setText(QStringLiteral("2.5"));
    const QString room = paste(w.roomEdit, value);
    const QString owner = paste(w.ownerEdit, value);
    const QString remark = paste(w.remarkEdit, value);
    const Dump before = dump();
    w.save();
    if (room.contains(QChar(0))) {
        expectNulRefused(rec, before);
        return;
    }
    QCOMPARE(rec.errors(), 0);
    const auto changes = diff(before, dump());
    QCOMPARE(changes.keys(), QStringList{QStringLiteral("UHouse")});
    // One row changed: the one of the dialog.
    QCOMPARE(changes.first().added.size(), 1);
    QCOMPARE(changes.first().removed.size(), 1);
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theNum, theName, Remark FROM UHouse WHERE ID = ") + id);
    QCOMPARE(rows.at(0, 0), room);
    QCOMPARE(rows.at(0, 1), owner);
    QCOMPARE(rows.at(0, 2), remark);
}

void TestHostile::ownerFilters()
{
    QFETCH(QString, value);
    // The houses hold the value in every text column, next to houses that a wildcard
    // reading of "%" or "_" would match as well.
    const bool storable = !value.contains(QChar(0));
    if (storable)
        addHouse(QStringLiteral("阳光小区"), value, value, value, value);
    for (const QString &d : decoys())
        addHouse(QStringLiteral("阳光小区"), d, d, d, d);
    const Rows all = dataModule().db().select(QStringLiteral("SELECT theNum FROM UHouse WHERE theDel = '否'"));

    for (int screen = 0; screen < 3; ++screen) {
        std::unique_ptr<OwnerBrowseWindow> w;
        if (screen == 0) {
            w = std::make_unique<OwnerManagementWindow>();
        } else if (screen == 1) {
            w = std::make_unique<OwnerQueryWindow>();
        } else {
            // The arrears reminder: every house here is in arrears at this date.
            auto tx = std::make_unique<ArrearsReminderWindow>();
            tx->referencePicker->setDateQuietly(QDate(2030, 1, 1));
            w = std::move(tx);
        }
        for (QLineEdit *box : {w->roomEdit, w->ownerEdit, w->phoneEdit, w->remarkEdit}) {
            MessageRecorder rec;
            for (QCheckBox *c : {w->areaCheck, w->roomCheck, w->purposeCheck, w->ownerCheck, w->phoneCheck, w->remarkCheck})
                c->setChecked(false);
            for (QLineEdit *e : {w->roomEdit, w->ownerEdit, w->phoneEdit, w->remarkEdit})
                e->clear();
            for (QCheckBox *c : {w->areaCheck, w->roomCheck, w->purposeCheck, w->ownerCheck, w->phoneCheck, w->remarkCheck})
                c->setChecked(false);
            const QString typed = paste(box, value);
            QCOMPARE(typed, value);
            const Dump before = dump();
            w->runQuery();
            QVERIFY(diff(before, dump()).isEmpty());
            if (!storable) {
                QVERIFY2(rec.errors() == 1 && rec.last().contains(NulMessage), qPrintable(rec.texts().join(QLatin1Char('|'))));
                QCOMPARE(w->listModel->rowCount(), 0);
                continue;
            }
            QCOMPARE(rec.errors(), 0);
            // Exactly the houses that "LIKE '%value%'" finds, its "%" and "_" as wildcards.
            QStringList expected;
            for (int r = 0; r < all.rowCount(); ++r)
                if (likeAnyPart(all.at(r, 0), value))
                    expected << all.at(r, 0);
            w->listModel->fetchAll();
            QStringList got;
            for (int r = 0; r < w->listModel->rowCount(); ++r)
                got << w->listModel->value(r, QStringLiteral("房号"));
            expected.sort();
            got.sort();
            QCOMPARE(got, expected);
            QVERIFY(w->waitForFigures());
            QCOMPARE(w->label(1)->text(), QStringLiteral("记录：%1").arg(expected.size()));
        }
    }
}

namespace {
QString addCharge(const QString &number, const QString &text)
{
    Statement s(dataModule().db(), QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, HArea, HPrice, HName, "
                                             "theCount, QSDate, JZDate, theMoney, theDX, MType, theSKR, Remark, theDel, "
                                             "theDate, UName) VALUES (1, ?, '2024-10-10', '阳光小区', ?, 80, 2.5, ?, 1, "
                                             "'2024-04-11', '2025-04-10', 200, '贰佰元整', '现金', '管理员', ?, '否', "
                                             "'2024-10-10', '管理员')"));
    s.bind(1, number);
    s.bind(2, text);
    s.bind(3, text);
    s.bind(4, text);
    s.run();
    return QString::number(dataModule().db().lastInsertId());
}

// The export opener of the tests: keeps the workbook instead of starting a program.
class KeepWorkbook : public SheetOpener {
public:
    KeepWorkbook() { setSheetOpener(this); }
    ~KeepWorkbook() override { setSheetOpener(nullptr); }
    bool open(const QString &path) override
    {
        opened << path;
        return true;
    }
    QStringList opened;
};
} // namespace

void TestHostile::chargeFilters()
{
    QFETCH(QString, value);
    const bool storable = !value.contains(QChar(0));
    // The value in every text column the filters search, receipt number included.
    if (storable)
        addCharge(value, value);
    int n = 0;
    for (const QString &d : decoys())
        addCharge(QStringLiteral("24101000%1").arg(++n, 2, 10, QLatin1Char('0')) + d, d);
    const Rows all = dataModule().db().select(QStringLiteral("SELECT ID, theNum, HNum, HName, Remark FROM UCharge"));

    for (int screen = 0; screen < 2; ++screen) {
        std::unique_ptr<ChargeBrowseWindow> w;
        if (screen == 0)
            w = std::make_unique<ChargeManagementWindow>();
        else
            w = std::make_unique<ChargeQueryWindow>();
        const QList<QPair<QLineEdit *, int>> boxes{{w->receiptNumberEdit, 1}, {w->roomEdit, 2}, {w->ownerEdit, 3}, {w->remarkEdit, 4}};
        for (const auto &[box, column] : boxes) {
            MessageRecorder rec;
            for (QLineEdit *e : {w->receiptNumberEdit, w->roomEdit, w->ownerEdit, w->remarkEdit})
                e->clear();
            for (QCheckBox *c : {w->receiptNumberCheck, w->chargeDateCheck, w->areaCheck, w->roomCheck, w->ownerCheck, w->paymentMethodCheck,
                                 w->payeeCheck, w->remarkCheck})
                c->setChecked(false);
            QCOMPARE(paste(box, value), value);
            const Dump before = dump();
            w->runQuery();
            QVERIFY(diff(before, dump()).isEmpty());
            if (!storable) {
                QVERIFY2(rec.errors() == 1 && rec.last().contains(NulMessage), qPrintable(rec.texts().join(QLatin1Char('|'))));
                continue;
            }
            QCOMPARE(rec.errors(), 0);
            QStringList expected;
            for (int r = 0; r < all.rowCount(); ++r)
                if (likeAnyPart(all.at(r, column), value))
                    expected << all.at(r, 0);
            w->listModel->fetchAll();
            QStringList got;
            for (int r = 0; r < w->listModel->rowCount(); ++r)
                got << w->listModel->value(r, QStringLiteral("ID"));
            expected.sort();
            got.sort();
            QCOMPARE(got, expected);
        }
    }
}

void TestHostile::exportRoundTrip()
{
    QFETCH(QString, value);
    if (value.contains(QChar(0)))
        QSKIP("a NUL character cannot be stored");
    addHouse(QStringLiteral("阳光小区"), value, value, value, value);
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTmp); });
    MessageRecorder rec;
    KeepWorkbook keep;
    OwnerQueryWindow w;
    w.runQuery();
    w.exportToExcel();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(keep.opened.size(), 1);
    // The workbook, read back by the import's own reader, holds the stored texts exactly
    // in the columns written as text (room and phone); the others are taken as typed, so
    // a text that reads as a number becomes that number.
    // Row 1 is the title; row 2 the headings, then the house and the totals row.
    const Sheet sheet = SheetReader::read(keep.opened.first());
    QCOMPARE(sheet.rowCount(), 3);
    const QStringList headings = sheet.row(0);
    const int room = int(headings.indexOf(QStringLiteral("房号"))), phone = int(headings.indexOf(QStringLiteral("手机号码")));
    const int owner = int(headings.indexOf(QStringLiteral("业主名称"))), remark = int(headings.indexOf(QStringLiteral("备注")));
    QVERIFY(room >= 0 && phone >= 0 && owner >= 0 && remark >= 0);
    const QStringList row = sheet.row(1);
    QCOMPARE(shown(row.at(room)), shown(value));
    QCOMPARE(row.at(room), value);
    QCOMPARE(row.at(phone), value);
    const QString typed = Numbers::isNumber(value) ? Numbers::plain(Numbers::toDouble(value)) : value;
    QCOMPARE(row.at(owner), typed);
    QCOMPARE(row.at(remark), typed);
}

void TestHostile::chargeEntry()
{
    QFETCH(QString, value);
    const bool storable = !value.contains(QChar(0));
    QTemporaryDir dir;
    PdfCapture pdf(dir.filePath(QStringLiteral("receipt.pdf")));
    report::setPresenter(&pdf);
    const auto done = qScopeGuard([] { report::setPresenter(nullptr); });
    QString id;
    if (storable)
        id = addHouse(QStringLiteral("阳光小区"), value, value, value, value);
    for (const QString &d : decoys())
        addHouse(QStringLiteral("阳光小区"), d, d, d, d);

    MessageRecorder rec;
    ChargeEntryDialog w;
    w.showDefaults();
    QCOMPARE(paste(w.roomEdit, value), value); // the look-up box has no limit
    Dump before = dump();
    w.lookUpHouse(13);
    QVERIFY(diff(before, dump()).isEmpty());
    if (!storable) {
        QVERIFY2(rec.errors() == 1 && rec.last().contains(NulMessage), qPrintable(rec.texts().join(QLatin1Char('|'))));
        QVERIFY(w.houseId.isEmpty());
        return;
    }
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(w.houseId, id);
    QCOMPARE(w.houseRoomEdit->text(), value);
    QCOMPARE(w.ownerEdit->text(), value);
    QCOMPARE(w.amountEdit->text(), QStringLiteral("200"));
    // The years and amount boxes take only their characters from a paste.
    for (const QChar c : paste(w.yearsEdit, value))
        QVERIFY(GbkLineEdit::DigitsMinus.contains(c));
    for (const QChar c : paste(w.amountEdit, value))
        QVERIFY(GbkLineEdit::DigitsPoint.contains(c));
    paste(w.yearsEdit, QStringLiteral("1"));
    QCOMPARE(w.amountEdit->text(), QStringLiteral("200"));
    const QString remark = paste(w.remarkEdit, value);
    QVERIFY(gbkByteLength(remark) <= 50);
    w.continuousEntryCheck->setChecked(false);
    // Pasting into the years box above may have shown the conversion error of a text
    // like "--"; the save starts afresh.
    rec.clear();
    before = dump();
    w.save();
    if (remark.contains(QChar(0))) {
        expectNulRefused(rec, before);
        return;
    }
    QVERIFY2(rec.errors() == 0, qPrintable(rec.texts().join(QLatin1Char('|')) + rec.entries.last().detail));
    QCOMPARE(pdf.count, 1);
    const auto changes = diff(before, dump());
    QCOMPARE(changes.keys(), (QStringList{QStringLiteral("UCharge"), QStringLiteral("UHouse")}));
    QCOMPARE(changes.value(QStringLiteral("UCharge")).added.size(), 1);
    QCOMPARE(changes.value(QStringLiteral("UHouse")).added.size(), 1);
    const Rows c = dataModule().db().select(QStringLiteral("SELECT HNum, HName, Remark, theMoney, JZDate FROM UCharge"));
    QCOMPARE(c.rowCount(), 1);
    QCOMPARE(c.at(0, 0), value);
    QCOMPARE(c.at(0, 1), value);
    QCOMPARE(c.at(0, 2), remark);
    QCOMPARE(c.at(0, 3), QStringLiteral("200"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE ID = ") + id), c.at(0, 4));
    // The receipt shows the stored texts as they are.
    bool onReceipt = false;
    for (const auto &t : pdf.last.texts)
        onReceipt = onReceipt || t.text.contains(value);
    QVERIFY(onReceipt);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("receipt.pdf"))).size() > 0);
}

void TestHostile::ownerImport()
{
    QFETCH(QString, value);
    // A sheet whose every text cell holds the value, written as a spreadsheet program
    // writes CSV: every field quoted, quotes doubled.
    const auto field = [](QString s) { return QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'); };
    QStringList header = OwnerImport::headings();
    QStringList row{value, QStringLiteral("80"), value, QStringLiteral("2.5"), QStringLiteral("2024-04-10"), value, value, value};
    QStringList lines;
    for (const QStringList &cells : {header, row}) {
        QStringList f;
        for (const QString &c : cells)
            f << field(c);
        lines << f.join(QLatin1Char(','));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("owners.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    }
    MessageRecorder rec;
    OwnerImportDialog::setFileChooser([&](QWidget *, const QString &) { return path; });
    const auto done = qScopeGuard([] { OwnerImportDialog::setFileChooser(nullptr); });
    OwnerImportDialog w;
    w.chooseWorkbook();
    if (value.contains(QChar(0))) {
        // A text file with a NUL byte is no CSV file: refused at opening, nothing shown.
        QVERIFY2(rec.errors() == 1 && rec.last().contains(QStringLiteral("无法读取文件")), qPrintable(rec.last()));
        QVERIFY(!w.importButton->isEnabled());
        return;
    }
    QVERIFY2(rec.errors() == 0, qPrintable(rec.texts().join(QLatin1Char('|'))));
    QVERIFY(w.importButton->isEnabled());
    QCOMPARE(w.sheetModel->index(0, 0).data().toString(), value);
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    const Dump before = dump();
    w.importOwners();
    const QString stored = OwnerImport::clean(value);
    if (stored.contains(QChar(0))) {
        // Refused naming the sheet row; nothing stored.
        QVERIFY2(rec.errors() == 1 && rec.last().contains(NulMessage) && rec.last().contains(QStringLiteral("第 2 行")),
                 qPrintable(rec.texts().join(QLatin1Char('|'))));
        QVERIFY(diff(before, dump()).isEmpty());
        return;
    }
    if (stored.isEmpty()) {
        // A room number that the cleaning empties is no room number.
        QCOMPARE(rec.last(), OwnerImport::doneMessage(0));
        QVERIFY(diff(before, dump()).isEmpty());
        return;
    }
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(rec.last(), OwnerImport::doneMessage(1));
    QCOMPARE(diff(before, dump()).keys(), QStringList{QStringLiteral("UHouse")});
    const Rows h = dataModule().db().select(QStringLiteral("SELECT theNum, HType, theName, thePhone, Remark FROM UHouse"));
    for (int c = 0; c < 5; ++c)
        QCOMPARE(shown(h.at(0, c)), shown(stored));
    for (int c = 0; c < 5; ++c)
        QCOMPARE(h.at(0, c), stored);
    // A second import of the same sheet finds the house, adds nothing and says it passed it over.
    OwnerImportDialog again;
    again.chooseWorkbook();
    again.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    rec.clear();
    again.importOwners();
    QCOMPARE(rec.last(), OwnerImport::doneMessage(0, 0, 1));
}

void TestHostile::hostileNamesInLists()
{
    // An area, a payment method and an operator named with the value (as their dialogs
    // store it), then picked from the lists by owner entry, charge entry and the filters.
    QFETCH(QString, value);
    QString name = value;
    while (gbkByteLength(name) > 12)
        name.chop(name.back().isLowSurrogate() ? 2 : 1);
    if (name.contains(QChar(0)))
        QSKIP("not a name the list dialogs store");
    Statement area(dataModule().db(), QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES (?, '')"));
    area.bind(1, name);
    area.run();
    Statement method(dataModule().db(), QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES (?, '')"));
    method.bind(1, name);
    method.run();
    Statement user(dataModule().db(), QStringLiteral("INSERT INTO SUser (theName, thePass, Remark, theMT, theHT, theAN) "
                                                "VALUES (?, '580913', '', ?, '住宅', ?)"));
    user.bind(1, name);
    user.bind(2, name);
    user.bind(3, name);
    user.run();
    addHouse(QStringLiteral("阳光小区"), QStringLiteral("1-101"), QStringLiteral("甲"), {}, {});
    resetLoginState();
    QVERIFY(Login::tryLogin(name, QString::fromUtf8(Schema::InitialPassword), QDate(2024, 10, 10)));
    Login::readUnit();
    MessageRecorder rec;

    OwnerEntryDialog entry;
    entry.showDefaults();
    QCOMPARE(entry.areaBox->text(), name);
    entry.roomEdit->setText(QStringLiteral("1-101"));
    entry.floorAreaEdit->setText(QStringLiteral("80"));
    entry.ownerEdit->setText(QStringLiteral("乙"));
    entry.save();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT AName || '|' || UName FROM UHouse WHERE theName = '乙'")), name + QLatin1Char('|') + name);

    TemporaryPresenter none;
    ChargeEntryDialog charge;
    charge.showDefaults();
    QCOMPARE(charge.areaBox->text(), name);
    QCOMPARE(charge.paymentMethodBox->text(), name);
    QCOMPARE(charge.payeeBox->text(), name);
    charge.roomEdit->setText(QStringLiteral("1-101"));
    charge.lookUpHouse(13);
    QCOMPARE(charge.ownerEdit->text(), QStringLiteral("乙")); // the house of this area, not of 阳光小区
    charge.continuousEntryCheck->setChecked(false);
    charge.save();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT AName || '|' || MType || '|' || theSKR || '|' || UName FROM UCharge")),
             QStringList(4, name).join(QLatin1Char('|')));

    // The lookup filters find exactly that area's house and that method's payment.
    OwnerQueryWindow owners;
    owners.areaBox->setKeyValue(name);
    owners.areaCheck->setChecked(true);
    owners.runQuery();
    owners.listModel->fetchAll();
    QCOMPARE(owners.listModel->rowCount(), 1);
    QCOMPARE(owners.listModel->value(0, QStringLiteral("业主名称")), QStringLiteral("乙"));
    ChargeQueryWindow charges;
    for (QCheckBox *c : {charges.receiptNumberCheck, charges.chargeDateCheck, charges.areaCheck, charges.roomCheck, charges.ownerCheck,
                         charges.paymentMethodCheck, charges.payeeCheck, charges.remarkCheck})
        c->setChecked(false);
    charges.paymentMethodBox->setKeyValue(name);
    charges.paymentMethodCheck->setChecked(true);
    charges.payeeBox->setKeyValue(name);
    charges.payeeCheck->setChecked(true);
    charges.runQuery();
    QCOMPARE(charges.listModel->rowCount(), 1);
    QCOMPARE(rec.errors(), 0);
}

void TestHostile::nulRefusedByDataLayer()
{
    // Whatever builds the statement: the engine would read it only up to the NUL.
    const QString nul = QStringLiteral("a") + hostile::nul() + QStringLiteral("b");
    const Dump before = dump();
    for (const QString &sql : {QStringLiteral("INSERT INTO SArea (theName) VALUES (") + Sql::quote(nul) + QLatin1Char(')'),
                               QStringLiteral("SELECT * FROM SArea WHERE theName = ") + Sql::quote(nul),
                               QStringLiteral("UPDATE SArea SET Remark = 'x' WHERE theName = ") + Sql::quote(nul)
                                   + QStringLiteral("; DELETE FROM SArea")}) {
        try {
            if (sql.startsWith(QLatin1String("SELECT")))
                dataModule().query(sql);
            else
                dataModule().execute(sql);
            QFAIL("a statement with a NUL character was run");
        } catch (const DbError &e) {
            QVERIFY(e.message().contains(NulMessage));
            QVERIFY(!e.statement().contains(QChar(0)));
            QVERIFY(e.statement().contains(QStringLiteral("a\\0b")));
        }
    }
    QVERIFY(diff(before, dump()).isEmpty());
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
