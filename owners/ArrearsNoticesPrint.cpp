#include "owners/ArrearsNoticesPrint.h"
#include "browse/BrowseCriteria.h"
#include "browse/QueryModel.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "owners/ArrearsNotices.h"
#include "owners/ArrearsReminderWindow.h"
#include "owners/ArrearsStatements.h"
#include "report/ReportPresenter.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "widgets/LongAction.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>

namespace ArrearsNoticesPrint {

namespace {

std::function<void(int)> &rowHook()
{
    static std::function<void(int)> hook;
    return hook;
}

// The IDs of the selected rows of the grid, as a clause of the list's conditions.
QString selectedClause(const ArrearsReminderWindow &window, const QModelIndexList &rows)
{
    QStringList ids;
    for (const QModelIndex &i : rows)
        ids << Sql::id(window.listModel->value(i.row(), QStringLiteral("ID")));
    return QStringLiteral("AND (ID IN (") + ids.join(QLatin1Char(',')) + QStringLiteral(")) ");
}

} // namespace

void setRowHook(std::function<void(int)> hook) { rowHook() = std::move(hook); }

QString criteriaText(const ArrearsReminderWindow &window)
{
    QVector<BrowseValue> values;
    QStringList words;
    int edits = 0, lookups = 0;
    for (int i = 0; i < window.criteria().size(); ++i) {
        const BrowseCriterion &c = window.criteria().at(i);
        BrowseValue v;
        v.ticked = window.checkBox(i + 1)->isChecked();
        v.text = c.input == BrowseCriterion::Lookup ? window.lookup(++lookups)->text() : window.edit(++edits)->text();
        if (v.ticked)
            words << QString(c.caption).remove(QLatin1Char(' ')) + QStringLiteral("：") + v.text;
        values << v;
    }
    const QString start = ArrearsStatements::dateClause(window.listedReference());
    if (Browse::where(window.criteria(), values, start) != window.conditions)
        return window.conditions.mid(start.size()).trimmed();
    return words.isEmpty() ? QStringLiteral("全部") : words.join(QStringLiteral("；"));
}

void print(ArrearsReminderWindow &window)
{
    guard(&window, [&] {
        QueryModel &list = *window.listModel;
        if (!list.isOpen())
            throw AppError(QStringLiteral("列表没有打开，请重新查询"));
        ReportPresenter *presenter = report::presenter();
        if (!presenter)
            throw AppError(QStringLiteral("打印预览不可用，无法打印催费通知单"));
        const QDate reference = window.listedReference();
        QString statement = list.orderedStatement();
        QString criteria = criteriaText(window);
        qint64 total = window.figuresDone() && list.atEnd() ? list.rowCount() : 0;
        const QModelIndexList selected = window.listGrid->selectionModel()->selectedRows();
        if (!selected.isEmpty()
            && messages().question(&window, QStringLiteral("催费通知单"),
                                   QStringLiteral("是否只打印选中的 %1 户的催费通知单？\n选“否”打印列表中的全部房屋。")
                                       .arg(selected.size()),
                                   false)) {
            statement = ArrearsStatements::list(reference, window.conditions + selectedClause(window, selected));
            criteria += QStringLiteral("；选中 %1 户").arg(selected.size());
            total = selected.size();
        }

        LongAction action(&window, QStringLiteral("正在准备催费通知单…"), total);
        const std::unique_ptr<Cursor> cursor = window.listReader().cursor(statement);
        const ArrearsNotices::Office office =
            ArrearsNotices::office(dataModule().db(), UnitName, ChargeDate.isEmpty() ? Dates::format(QDate::currentDate()) : ChargeDate);
        const ArrearsNotices::Batch batch = ArrearsNotices::build(*cursor, office, reference, [&](int read) {
            if (rowHook())
                rowHook()(read);
            return action.step(read);
        });
        action.finish();
        if (batch.cancelled)
            return;
        if (batch.notices.isEmpty()) {
            showInfo(&window, QStringLiteral("列表中没有欠费金额大于零的房屋，没有催费通知单可打印。"));
            return;
        }
        {
            const AskingWindow asking(&window);
            presenter->presentPages(batch.pages);
        }
        ArrearsNotices::record(int(batch.notices.size()), reference, criteria);
    });
}

} // namespace ArrearsNoticesPrint
