#pragma once
#include "widgets/BrowseWindow.h"
#include "widgets/FixedDialog.h"

struct ExportLayout;
class QPlainTextEdit;
class QPushButton;

// "操作记录": the record of changes to money-relevant data, newest first, by date, operator,
// action and room number, with "Excel". The records are only read here. The changed
// values take the grid's free width; a double click or Enter on a row shows its record in
// full (ChangeRecordDialog).
class ChangeLogWindow : public BrowseWindow {
    Q_OBJECT
public:
    explicit ChangeLogWindow(QWidget *parent = nullptr);

public slots:
    void exportToExcel() override;
    // The current row's record in full; nothing without a row.
    void showRecord();

protected:
    QString listSql() const override;
    QString totalsSql() const override { return {}; }
    QString countSql(const QString &list) const override;
    void keyPressEvent(QKeyEvent *event) override;
};

// One record of changes in full: when, who, under which charging date, what was done to
// which house, and the whole of what changed, wrapped, to be read or copied. Esc, Enter
// or "关闭" closes it.
class ChangeRecordDialog : public FixedDialog {
    Q_OBJECT
public:
    // The fields by caption, each with its value; change is what changed.
    ChangeRecordDialog(QWidget *parent, const QList<QPair<QString, QString>> &fields, const QString &change);

    QPlainTextEdit *changeText;
    QPushButton *closeButton;
};

ExportLayout changeLogLayout();
