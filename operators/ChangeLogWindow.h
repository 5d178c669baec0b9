#pragma once
#include "widgets/BrowseWindow.h"

struct ExportLayout;

// "操作记录": the record of changes to money-relevant data, newest first, by date, operator,
// action and room number, with "Excel". The records are only read here.
class ChangeLogWindow : public BrowseWindow {
    Q_OBJECT
public:
    explicit ChangeLogWindow(QWidget *parent = nullptr);

public slots:
    void BitBtn3Click() override;

protected:
    QString listSql() const override;
    QString totalsSql() const override { return {}; }
    QString countSql(const QString &list) const override;
};

ExportLayout changeLogLayout();
