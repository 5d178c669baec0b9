#pragma once
#include "db/Database.h"
#include "report/Report.h"

#include <QObject>

// The print module: the queries and data sets of the receipt and its design.
// One instance lives for the whole run; its queries keep the rows of the last receipt
// printed until the next one.
class PrintModule : public QObject {
    Q_OBJECT
public:
    static PrintModule &instance();

    // The query objects, exposed to the report under the data sets' names.
    Rows unitRows;
    Rows labelRows;
    Rows paymentRows;
    report::DataSet unitData;
    report::DataSet labelData;
    report::DataSet paymentData;
    report::Report receipt;

    // Loads the using unit's title row.
    void loadUnit();
    // Loads one row of receipt labels.
    void loadLabels(const QString &id);
    // Loads the charge with this receipt number and shows its receipt through the
    // presenter; returns when the presenter is done (the preview was closed). A number
    // that matches no charge gives a receipt whose charge fields are empty. Throws
    // DbError when a statement is refused, AppError when no presenter is installed.
    void printReceipt(const QString &receiptNumber);
    // Shows a receipt again (收费管理's 打印, the admin tool's receipt): the reprint is
    // written to the change record first (who, when, which receipt, how many times now);
    // with the office's setting SDept.ReprintMark the receipt is marked 补打 with the time
    // of printing, else it is identical to the original. Returns how many times it has now
    // been printed again; 0 for a number of no payment (nothing recorded).
    int reprintReceipt(const QString &receiptNumber);

private:
    PrintModule();
    void buildReceipt();
    // Attach to the shared connection, close, clear, add SqlText, open.
    void openQuery(Rows &query);
    void openQuery(Rows &query, const QString &sql, const QVariantList &values);
};

inline PrintModule &printModule() { return PrintModule::instance(); }
