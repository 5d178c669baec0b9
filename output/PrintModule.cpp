#include "output/PrintModule.h"
#include "data/BoundWrite.h"
#include "data/Books.h"
#include "data/ChangeLog.h"
#include "data/Roles.h"
#include "data/DataModule.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "report/ReportPresenter.h"

#include <QDateTime>

PrintModule &PrintModule::instance()
{
    static PrintModule dmp;
    return dmp;
}

PrintModule::PrintModule()
{
    unitData = report::DataSet{QStringLiteral("frxDB_Dept"), &unitRows};
    labelData = report::DataSet{QStringLiteral("frxDB_ZD"), &labelRows};
    paymentData = report::DataSet{QStringLiteral("frxDB_CNF"), &paymentRows};
    buildReceipt();
}

void PrintModule::openQuery(Rows &query, const QString &sql, const QVariantList &values)
{
    // The query is emptied first: a refused statement leaves no rows of the last receipt.
    query = Rows();
    query = values.isEmpty() ? dataModule().query(sql) : BoundWrite::select(dataModule().db(), sql, values);
    query.first();
}

void PrintModule::openQuery(Rows &query)
{
    openQuery(query, SqlText, {});
}

void PrintModule::loadUnit()
{
    SqlText = QStringLiteral("SELECT theName, F1 FROM SDept ");
    SqlText += QStringLiteral("WHERE (ID = 1) ");
    openQuery(unitRows);
}

void PrintModule::loadLabels(const QString &id)
{
    SqlText = QStringLiteral("select * from SZD");
    SqlText += QStringLiteral(" Where (theID = ") + Sql::id(id) + QStringLiteral(") ");
    openQuery(labelRows);
}

void PrintModule::printReceipt(const QString &receiptNumber)
{
    Roles::require(Roles::Action::Reprint);
    loadUnit();
    // Receipts always use label row 1.
    loadLabels(QStringLiteral("1"));
    const QString sql = QStringLiteral("SELECT * FROM UCharge WHERE (theNum = ?)");
    SqlText = BoundWrite::shown(sql, {receiptNumber});
    openQuery(paymentRows, sql, {receiptNumber});

    receipt.setFileName(QStringLiteral("Print/cnf.rf3"));
    if (!report::presenter())
        throw AppError(QStringLiteral("打印预览不可用，无法打印收据"));
    receipt.showReport(*report::presenter());
}

int PrintModule::reprintReceipt(const QString &receiptNumber)
{
    Database &db = dataModule().db();
    int times = 0;
    {
        Transaction tx(db);
        const Rows payment = BoundWrite::select(db, QStringLiteral("SELECT ID, AName, HNum FROM UCharge WHERE (theNum = ?) ORDER BY ID"),
                                                {receiptNumber});
        if (!payment.isEmpty()) {
            const QString id = Sql::id(payment.at(0, 0));
            times = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ULog WHERE (RowID = %1) AND (theTable = 'UCharge') "
                                             "AND (theAction = %2)")
                                  .arg(id, Sql::quote(QString::fromUtf8(Books::ReceiptReprinted))))
                        .toInt()
                + 1;
            ChangeLog::record({QString::fromUtf8(Books::ReceiptReprinted), QStringLiteral("UCharge"), id, payment.at(0, 1),
                               payment.at(0, 2), QStringLiteral("单号 %1，第 %2 次补打").arg(receiptNumber).arg(times)});
        }
        tx.commit();
    }
    const bool mark = times > 0 && db.scalar(QStringLiteral("SELECT ReprintMark FROM SDept WHERE (ID = 1)")).toInt() == 1;
    if (!mark) {
        printReceipt(receiptNumber);
        return times;
    }
    // The mark is on this print only: the receipt's design stays the original's.
    report::TextBox box;
    box.name = QStringLiteral("reprintMark");
    box.rect = QRectF(135, 0, 60, 5);
    box.pointSize = 9;
    box.bold = true;
    box.hAlign = Qt::AlignRight;
    box.content = QStringLiteral("补打  ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    receipt.texts.append(box);
    try {
        printReceipt(receiptNumber);
    } catch (...) {
        receipt.texts.removeLast();
        throw;
    }
    receipt.texts.removeLast();
    return times;
}

// The receipt: 210 x 98 mm, 5 mm margins; every position is millimetres from the top-left
// corner of the printable area.
void PrintModule::buildReceipt()
{
    report::Report &r = receipt;
    r.name = QStringLiteral("frxR_CNF");
    r.paperSize = QSizeF(210, 98);
    r.orientation = QPageLayout::Portrait;
    r.margins = QMarginsF(5, 5, 5, 5);
    r.addDataSet(unitData.userName, unitData.rows);
    r.addDataSet(paymentData.userName, paymentData.rows);
    r.addDataSet(labelData.userName, labelData.rows);

    constexpr double Title = 18, Large = 12, Medium = 9.75, Small = 9;
    const auto text = [&r](const char *name, double left, double top, double width, double height, double size,
                           Qt::Alignment align, const QString &content, bool bold = false) {
        report::TextBox b;
        b.name = QString::fromLatin1(name);
        b.rect = QRectF(left, top, width, height);
        b.pointSize = size;
        b.bold = bold;
        b.hAlign = align;
        b.content = content;
        r.texts.append(b);
    };
    const Qt::Alignment L = Qt::AlignLeft, C = Qt::AlignHCenter, R = Qt::AlignRight;

    text("title1", 5, 0, 190, 8, Title, C, QStringLiteral("[frxDB_Dept.theName]"), true);
    text("title2", 5, 8, 190, 8, Title, C, QStringLiteral("[frxDB_Dept.F1]"), true);
    text("area", 5, 16, 50, 5, Medium, L, QStringLiteral("[frxDB_CNF.AName]"));
    text("chargeDate", 85, 16, 30, 5, Medium, C, QStringLiteral("[frxDB_CNF.myDate]"));
    text("receiptNumber", 145, 16, 50, 5, Medium, R, QStringLiteral("[frxDB_CNF.theNum]"));
    text("house", 20, 24, 170, 5, Large, L,
         QStringLiteral("[frxDB_ZD.F06]  [frxDB_CNF.HNum]  [frxDB_CNF.HName]  [frxDB_ZD.F15]  [frxDB_CNF.HArea]  "
                        "[frxDB_ZD.F16]  [frxDB_ZD.F13]  [frxDB_CNF.HPrice]  [frxDB_ZD.F17]"));
    text("periodLabel", 10, 33, 10, 5, Large, L, QStringLiteral("[frxDB_ZD.F07]"));
    text("period", 21, 33, 169, 5, Large, L,
         QStringLiteral("[frxDB_ZD.F11]  [frxDB_CNF.QSDate]  [frxDB_ZD.F12]  [frxDB_CNF.JZDate]  [frxDB_ZD.F14]  "
                        "[frxDB_CNF.theCount] "));
    text("amountLabel", 10, 42, 10, 5, Large, L, QStringLiteral("[frxDB_ZD.F08]"));
    text("amount", 21, 42, 169, 5, Large, L, QStringLiteral("[frxDB_CNF.theMoney]"));
    r.texts.last().format = QStringLiteral("%2.2f");
    text("amountInWords", 10, 51, 120, 5, Large, L, QStringLiteral("[frxDB_ZD.F09]  [frxDB_CNF.theDX]"));
    text("paymentMethod", 135, 51, 55, 5, Large, L, QStringLiteral("收款方式：[frxDB_CNF.MType]"));
    text("remark", 10, 60, 185, 5, Large, L, QStringLiteral("[frxDB_ZD.F10]  [frxDB_CNF.Remark]"));
    text("footer1", 5, 70, 50, 5, Medium, L, QStringLiteral("[frxDB_ZD.F01]"));
    text("footer2", 55, 70, 50, 5, Medium, L, QStringLiteral("[frxDB_ZD.F02]"));
    text("footer3", 105, 70, 50, 5, Medium, L, QStringLiteral("[frxDB_ZD.F03]  [frxDB_CNF.theSKR]"));
    text("footer4", 155, 70, 45, 5, Medium, L, QStringLiteral("[frxDB_ZD.F04]"));
    // One Chinese character wide: the label wraps to a character a line, top to bottom.
    text("side", 195, 16, 5, 54, Small, L, QStringLiteral("[frxDB_ZD.F05]"));

    const auto line = [&r](double x1, double y1, double x2, double y2) {
        r.lines.append(report::Line{QPointF(x1, y1), QPointF(x2, y2)});
    };
    line(5, 21, 195, 21);   // box top
    line(5, 66, 195, 66);   // box bottom
    line(5, 21, 5, 66);     // box left
    line(195, 21, 195, 66); // box right
    line(35, 30, 190, 30);  // under the house row
    line(20, 39, 190, 39);  // under the period row
    line(20, 48, 190, 48);  // under the amount row
    line(20, 57, 190, 57);  // under the amount-in-words row
}
