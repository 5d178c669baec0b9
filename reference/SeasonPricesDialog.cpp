#include "reference/SeasonPricesDialog.h"
#include "data/DataModule.h"
#include "data/OfficeRules.h"
#include "db/Numbers.h"
#include "widgets/Guard.h"
#include "widgets/Seams.h"

#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

SeasonPricesDialog::SeasonPricesDialog(QWidget *parent) : FixedDialog(parent, QStringLiteral("采暖季单价"), 520, 420)
{
    grid = new QTableWidget(0, 3, this);
    grid->setHorizontalHeaderLabels({QStringLiteral("房屋用途"), QStringLiteral("采暖季"), QStringLiteral("单价")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);

    purposeBox = new QComboBox(this);
    seasonSpin = new QSpinBox(this);
    seasonSpin->setRange(1900, 9998);
    const QDate today = QDate::currentDate();
    seasonSpin->setValue(today.year());
    priceEdit = new QLineEdit(this);
    priceEdit->setMaxLength(10);
    auto *boxes = new QGridLayout;
    boxes->addWidget(new QLabel(QStringLiteral("房屋用途："), this), 0, 0);
    boxes->addWidget(purposeBox, 0, 1);
    boxes->addWidget(new QLabel(QStringLiteral("采暖季（开始年份）："), this), 0, 2);
    boxes->addWidget(seasonSpin, 0, 3);
    boxes->addWidget(new QLabel(QStringLiteral("单价："), this), 1, 0);
    boxes->addWidget(priceEdit, 1, 1);
    boxes->addWidget(new QLabel(QStringLiteral("元/平方米"), this), 1, 2);

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);
    removeButton = new QPushButton(QStringLiteral("删除"), this);
    removeButton->setAutoDefault(false);
    buttons->insertWidget(buttons->indexOf(closeButton), removeButton);

    auto *v = new QVBoxLayout(this);
    v->addWidget(grid, 1);
    v->addLayout(boxes);
    v->addLayout(buttons);
    connect(saveButton, &QPushButton::clicked, this, &SeasonPricesDialog::save);
    connect(removeButton, &QPushButton::clicked, this, &SeasonPricesDialog::remove);
    connect(grid, &QTableWidget::currentCellChanged, this, [this](int row) {
        pick(row);
    });
}

void SeasonPricesDialog::onFirstShow()
{
    guard(this, [&] {
        const Rows purposes = dataModule().query(QStringLiteral("SELECT theName FROM SPrice ORDER BY theName"));
        for (int i = 0; i < purposes.rowCount(); ++i)
            purposeBox->addItem(purposes.at(i, 0));
        refresh();
    });
}

void SeasonPricesDialog::refresh()
{
    const QVector<OfficeRules::SeasonPrice> prices = OfficeRules::seasonPrices(dataModule().db());
    grid->setRowCount(int(prices.size()));
    for (int r = 0; r < prices.size(); ++r) {
        const OfficeRules::SeasonPrice &p = prices.at(r);
        const QStringList cells{p.purpose, QStringLiteral("%1—%2").arg(p.year).arg(p.year + 1), Numbers::plain(p.price)};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (c == 1)
                item->setData(Qt::UserRole, p.year);
            grid->setItem(r, c, item);
        }
    }
}

void SeasonPricesDialog::pick(int row)
{
    if (row < 0 || row >= grid->rowCount())
        return;
    purposeBox->setCurrentText(grid->item(row, 0)->text());
    seasonSpin->setValue(grid->item(row, 1)->data(Qt::UserRole).toInt());
    priceEdit->setText(grid->item(row, 2)->text());
}

void SeasonPricesDialog::save()
{
    guard(this, [&] {
        OfficeRules::setSeasonPrice(purposeBox->currentText(), seasonSpin->value(), priceEdit->text().trimmed());
        refresh();
        showInfo(this, QStringLiteral("采暖季单价 保存成功！"));
    });
}

void SeasonPricesDialog::remove()
{
    if (!confirmDelete(this))
        return;
    guard(this, [&] {
        OfficeRules::removeSeasonPrice(purposeBox->currentText(), seasonSpin->value());
        refresh();
    });
}
