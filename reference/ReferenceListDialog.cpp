#include "reference/ReferenceListDialog.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

ReferenceListDialog::ReferenceListDialog(const RefLists::ListConfig &config, QWidget *parent)
    : FixedDialog(parent, config.caption, 500, 430)
    , m_config(config)
{
    listGroup = new QGroupBox(config.listGroup, this);
    listGrid = new QTableView(listGroup);
    listRows = new RowsModel(this);
    listGrid->setModel(listRows);
    listGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    listGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    listGrid->setTabKeyNavigation(false);
    listGrid->verticalHeader()->hide();
    listGrid->verticalHeader()->setDefaultSectionSize(22);
    listGrid->horizontalHeader()->setHighlightSections(false);
    listGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    listGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *listBox = new QVBoxLayout(listGroup);
    listBox->addWidget(listGrid);

    gridMenu = new QMenu(this);
    deleteAction = gridMenu->addAction(QStringLiteral("删除 &D"));

    entryGroup = new QGroupBox(config.entryGroup, this);
    entryLayout = new QGridLayout(entryGroup);
    entryLayout->setHorizontalSpacing(6);
    nameEdit = new GbkLineEdit(entryGroup);
    nameEdit->setByteLimit(12);
    nameEdit->setFixedWidth(150);
    remarkEdit = new GbkLineEdit(entryGroup);
    remarkEdit->setByteLimit(50);
    int row = 0;
    auto *nameLabel = new QLabel(config.nameLabel, entryGroup);
    nameLabel->setBuddy(nameEdit);
    entryLayout->addWidget(nameLabel, row, 0);
    entryLayout->addWidget(nameEdit, row, 1);
    ++row;
    if (config.hasPrice) {
        // Digits and the point only; the database judges the number.
        priceEdit = new GbkLineEdit(entryGroup);
        priceEdit->setByteLimit(6);
        priceEdit->setAllowedChars(GbkLineEdit::DigitsPoint);
        priceEdit->setFixedWidth(150);
        auto *priceLabel = new QLabel(QStringLiteral("单       价："), entryGroup);
        priceLabel->setBuddy(priceEdit);
        entryLayout->addWidget(priceLabel, row, 0);
        entryLayout->addWidget(priceEdit, row, 1);
        entryLayout->addWidget(new QLabel(QStringLiteral("元/平方米"), entryGroup), row, 2);
        ++row;
    }
    auto *remarkLabel = new QLabel(QStringLiteral("备        注："), entryGroup);
    remarkLabel->setBuddy(remarkEdit);
    entryLayout->addWidget(remarkLabel, row, 0);
    entryLayout->addWidget(remarkEdit, row, 1, 1, 3);
    entryLayout->setColumnStretch(3, 1);

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);
    if (config.hasPrice) {
        modifyButton = new QPushButton(QStringLiteral("修改"), this);
        modifyButton->setAutoDefault(false);
        buttons->insertSpacing(2, 20);
        buttons->insertWidget(3, modifyButton);
        connect(modifyButton, &QPushButton::clicked, this, &ReferenceListDialog::modifyCurrent);
    }

    auto *v = new QVBoxLayout(this);
    v->addWidget(listGroup, 1);
    v->addWidget(entryGroup);
    v->addLayout(buttons);

    setTabOrder(listGrid, nameEdit);
    QWidget *last = nameEdit;
    if (priceEdit) {
        setTabOrder(nameEdit, priceEdit);
        last = priceEdit;
    }
    setTabOrder(last, remarkEdit);
    setTabOrder(remarkEdit, saveButton);
    if (modifyButton) {
        setTabOrder(saveButton, modifyButton);
        setTabOrder(modifyButton, closeButton);
    } else {
        setTabOrder(saveButton, closeButton);
    }

    connect(listGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { gridMenu->popup(listGrid->viewport()->mapToGlobal(pos)); });
    connect(deleteAction, &QAction::triggered, this, &ReferenceListDialog::deleteCurrent);
    connect(saveButton, &QPushButton::clicked, this, &ReferenceListDialog::addEntry);

    loadList();
}

void ReferenceListDialog::loadList()
{
    guard(this, [&] { refreshList(); });
}

void ReferenceListDialog::onFirstShow()
{
    nameEdit->setFocus();
}

void ReferenceListDialog::refreshList()
{
    listRows->setRows(RefLists::list(m_config));
    // A reset forgets the column layout, so it is laid out again each time.
    for (int c = 0; c < m_config.widths.size() && c < listRows->columnCount(); ++c) {
        const int w = m_config.widths.at(c);
        listGrid->setColumnHidden(c, w < 0);
        if (w > 0)
            listGrid->setColumnWidth(c, w);
    }
    if (listRows->rowCount() > 0)
        listGrid->setCurrentIndex(listRows->index(0, 0));
}

int ReferenceListDialog::currentRow() const
{
    const QModelIndex i = listGrid->currentIndex();
    return i.isValid() ? i.row() : 0;
}

void ReferenceListDialog::addEntry()
{
    guard(this, [&] {
        if (nameEdit->text().isEmpty()) {
            showInfo(this, RefLists::emptyNameMessage(m_config));
            nameEdit->setFocus();
            return;
        }
        if (priceEdit && priceEdit->text().isEmpty()) {
            showInfo(this, QStringLiteral("单价 不能为空！"));
            priceEdit->setFocus();
            return;
        }
        if (!RefLists::add(m_config, nameEdit->text(), remarkEdit->text(), priceEdit ? priceEdit->text() : thirdValue())) {
            showInfo(this, RefLists::duplicateMessage(m_config));
            nameEdit->setFocus();
            return;
        }
        showInfo(this, m_config.savedMessage);
        nameEdit->clear();
        remarkEdit->clear();
        if (priceEdit)
            priceEdit->clear();
        nameEdit->setFocus();
        refreshList();
    });
}

bool ReferenceListDialog::mayDelete(int row)
{
    const QString refusal = RefLists::deleteRefusal(m_config, listRows->rows().at(row, QStringLiteral("ID")));
    if (refusal.isEmpty())
        return true;
    showInfo(this, refusal);
    return false;
}

void ReferenceListDialog::deleteCurrent()
{
    guard(this, [&] {
        if (listRows->rowCount() == 0)
            return;
        const int row = currentRow();
        if (!mayDelete(row))
            return;
        if (!confirmDelete(this))
            return;
        RefLists::remove(m_config, listRows->rows().at(row, QStringLiteral("ID")));
        refreshList();
    });
}

void ReferenceListDialog::modifyCurrent()
{
    guard(this, [&] {
        if (!priceEdit || listRows->rowCount() == 0)
            return;
        if (priceEdit->text().isEmpty()) {
            showInfo(this, QStringLiteral("单价 不能为空！"));
            priceEdit->setFocus();
            return;
        }
        const int row = currentRow();
        const QString id = listRows->rows().at(row, QStringLiteral("ID"));
        if (!messages().question(this, QStringLiteral("修改"),
                                 QStringLiteral("是否将房屋用途“%1”的单价由 %2 改为 %3？")
                                     .arg(listRows->rows().at(row, QStringLiteral("房屋用途")),
                                          listRows->rows().at(row, QStringLiteral("单价")), priceEdit->text()),
                                 true))
            return;
        const RefLists::PriceChange change = RefLists::changePrice(id, priceEdit->text());
        priceEdit->clear();
        refreshList();
        // The houses keep their own price unless the operator has the new one applied.
        const int n = RefLists::housesToReprice(id);
        if (n > 0
            && messages().question(this, QStringLiteral("修改"),
                                   QStringLiteral("是否将新单价应用到该用途的 %1 户房屋？").arg(n), false)) {
            const int done = RefLists::applyPrice(id);
            showInfo(this, QStringLiteral("已将 %1 户房屋的单价改为 %2。").arg(done).arg(change.after));
            return;
        }
        showInfo(this, QStringLiteral("单价信息 修改成功！"));
    });
}
