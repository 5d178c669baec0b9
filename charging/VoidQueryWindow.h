#pragma once
#include "widgets/BrowseWindow.h"

#include <QDate>

// "作废查询": the voided payments, newest first, by receipt number, the date of the void
// and the operator who voided; the footer counts them and sums their amounts; "Excel"
// exports the list as the charge query does.
class VoidQueryWindow : public BrowseWindow {
    Q_OBJECT
public:
    explicit VoidQueryWindow(QWidget *parent = nullptr);

public slots:
    void exportToExcel() override;

protected:
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
};

// The workbook of the void query.
struct ExportLayout;
ExportLayout voidQueryLayout();
