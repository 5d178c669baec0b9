#include "charging/HousePickDialog.h"
#include "charging/ChargeDesk.h"
#include "widgets/Guard.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

HousePickDialog::HousePickDialog(QWidget *parent, const QString &text, const QDate &chargingDate)
    : FixedDialog(parent, QStringLiteral("查找业主"), 720, 460), m_chargingDate(chargingDate)
{
    findEdit = new QLineEdit(this);
    findEdit->setPlaceholderText(QStringLiteral("业主名称、联系电话或房号的一部分"));
    pickGrid = new QTableWidget(0, 6, this);
    pickGrid->setHorizontalHeaderLabels({QStringLiteral("小区名称"), QStringLiteral("房号"), QStringLiteral("业主名称"),
                                         QStringLiteral("联系电话"), QStringLiteral("交费截至日期"), QStringLiteral("欠费年数")});
    pickGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    pickGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    pickGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pickGrid->verticalHeader()->hide();
    pickGrid->horizontalHeader()->setStretchLastSection(true);
    noteLabel = new QLabel(this);
    noteLabel->setStyleSheet(QStringLiteral("color: #b22222;"));

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("查       找："), this));
    top->addWidget(findEdit, 1);
    auto *v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(pickGrid, 1);
    v->addWidget(noteLabel);

    findEdit->installEventFilter(this);
    pickGrid->installEventFilter(this);
    connect(findEdit, &QLineEdit::textChanged, this, &HousePickDialog::refresh);
    connect(pickGrid, &QTableWidget::cellDoubleClicked, this, &HousePickDialog::pickCurrent);

    findEdit->setText(text);
    if (text.isEmpty())
        refresh();
    findEdit->setFocus();
}

void HousePickDialog::refresh()
{
    pickGrid->setRowCount(0);
    noteLabel->clear();
    guard(this, [&] {
        const ChargeDesk::Found found = ChargeDesk::find(findEdit->text(), m_chargingDate);
        pickGrid->setRowCount(int(found.houses.size()));
        for (int r = 0; r < found.houses.size(); ++r) {
            const ChargeDesk::Match &m = found.houses.at(r);
            const QString cells[] = {m.area, m.room, m.owner, m.phone, m.paidUp, m.yearsBehind};
            for (int c = 0; c < 6; ++c) {
                auto *item = new QTableWidgetItem(cells[c]);
                if (c == 5)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                pickGrid->setItem(r, c, item);
            }
        }
        if (!found.houses.isEmpty())
            pickGrid->selectRow(0);
        pickGrid->resizeColumnsToContents();
        if (found.more)
            noteLabel->setText(ChargeDesk::tooManyMessage());
        else if (found.houses.isEmpty() && !findEdit->text().trimmed().isEmpty())
            noteLabel->setText(ChargeDesk::noneMessage());
        else if (!found.houses.isEmpty())
            noteLabel->setText(QStringLiteral("共 %1 户，按回车键选择").arg(found.houses.size()));
    });
}

void HousePickDialog::pickCurrent()
{
    const int r = pickGrid->currentRow();
    if (r < 0 || r >= pickGrid->rowCount())
        return;
    pickedArea = pickGrid->item(r, 0)->text();
    pickedRoom = pickGrid->item(r, 1)->text();
    accept();
}

bool HousePickDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (watched == findEdit && (enter || key == Qt::Key_Down) && pickGrid->rowCount() > 0) {
            // The first match is already the current row: one more Enter picks it.
            pickGrid->setFocus();
            if (pickGrid->currentRow() < 0)
                pickGrid->selectRow(0);
            return true;
        }
        if (watched == pickGrid && enter) {
            pickCurrent();
            return true;
        }
    }
    return FixedDialog::eventFilter(watched, event);
}
