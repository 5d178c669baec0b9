#include "reference/TfrmRefList.h"
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

TfrmRefList::TfrmRefList(const RefLists::ListConfig &config, QWidget *parent)
    : FixedDialog(parent, config.caption, 500, 430)
    , m_config(config)
{
    GroupBox1 = new QGroupBox(config.listGroup, this);
    DBGrid1 = new QTableView(GroupBox1);
    DataSource1 = new RowsModel(this);
    DBGrid1->setModel(DataSource1);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setTabKeyNavigation(false);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->verticalHeader()->setDefaultSectionSize(22);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *listBox = new QVBoxLayout(GroupBox1);
    listBox->addWidget(DBGrid1);

    PopupMenu1 = new QMenu(this);
    D1 = PopupMenu1->addAction(QStringLiteral("删除 &D"));

    GroupBox2 = new QGroupBox(config.entryGroup, this);
    EntryLayout = new QGridLayout(GroupBox2);
    EntryLayout->setHorizontalSpacing(6);
    Edit1 = new GbkLineEdit(GroupBox2);
    Edit1->setByteLimit(12);
    Edit1->setFixedWidth(150);
    Edit2 = new GbkLineEdit(GroupBox2);
    Edit2->setByteLimit(50);
    int row = 0;
    auto *nameLabel = new QLabel(config.nameLabel, GroupBox2);
    nameLabel->setBuddy(Edit1);
    EntryLayout->addWidget(nameLabel, row, 0);
    EntryLayout->addWidget(Edit1, row, 1);
    ++row;
    if (config.hasPrice) {
        // Edit3KeyPress: digits and the point only; the database judges the number.
        Edit3 = new GbkLineEdit(GroupBox2);
        Edit3->setByteLimit(6);
        Edit3->setAllowedChars(GbkLineEdit::DigitsPoint);
        Edit3->setFixedWidth(150);
        auto *priceLabel = new QLabel(QStringLiteral("单       价："), GroupBox2);
        priceLabel->setBuddy(Edit3);
        EntryLayout->addWidget(priceLabel, row, 0);
        EntryLayout->addWidget(Edit3, row, 1);
        EntryLayout->addWidget(new QLabel(QStringLiteral("元/平方米"), GroupBox2), row, 2);
        ++row;
    }
    auto *remarkLabel = new QLabel(QStringLiteral("备        注："), GroupBox2);
    remarkLabel->setBuddy(Edit2);
    EntryLayout->addWidget(remarkLabel, row, 0);
    EntryLayout->addWidget(Edit2, row, 1, 1, 3);
    EntryLayout->setColumnStretch(3, 1);

    QHBoxLayout *buttons = saveQuitButtons(BitBtn1, BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1, 1);
    v->addWidget(GroupBox2);
    v->addLayout(buttons);

    setTabOrder(DBGrid1, Edit1);
    QWidget *last = Edit1;
    if (Edit3) {
        setTabOrder(Edit1, Edit3);
        last = Edit3;
    }
    setTabOrder(last, Edit2);
    setTabOrder(Edit2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos)); });
    connect(D1, &QAction::triggered, this, &TfrmRefList::D1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmRefList::BitBtn1Click);

    FormCreate();
}

void TfrmRefList::FormCreate()
{
    guard(this, [&] { myRef(); });
}

void TfrmRefList::FormShow()
{
    Edit1->setFocus();
}

void TfrmRefList::myRef()
{
    DataSource1->setRows(RefLists::list(m_config));
    // A reset forgets the column layout, so it is laid out again each time.
    for (int c = 0; c < m_config.widths.size() && c < DataSource1->columnCount(); ++c) {
        const int w = m_config.widths.at(c);
        DBGrid1->setColumnHidden(c, w < 0);
        if (w > 0)
            DBGrid1->setColumnWidth(c, w);
    }
    if (DataSource1->rowCount() > 0)
        DBGrid1->setCurrentIndex(DataSource1->index(0, 0));
}

int TfrmRefList::currentRow() const
{
    const QModelIndex i = DBGrid1->currentIndex();
    return i.isValid() ? i.row() : 0;
}

void TfrmRefList::BitBtn1Click()
{
    guard(this, [&] {
        if (Edit1->text().isEmpty()) {
            showInfo(this, RefLists::emptyNameMessage(m_config));
            Edit1->setFocus();
            return;
        }
        if (Edit3 && Edit3->text().isEmpty()) {
            showInfo(this, QStringLiteral("单价 不能为空！"));
            Edit3->setFocus();
            return;
        }
        if (!RefLists::add(m_config, Edit1->text(), Edit2->text(), Edit3 ? Edit3->text() : QString())) {
            showInfo(this, RefLists::duplicateMessage(m_config));
            Edit1->setFocus();
            return;
        }
        showInfo(this, m_config.savedMessage);
        Edit1->clear();
        Edit2->clear();
        if (Edit3)
            Edit3->clear();
        Edit1->setFocus();
        myRef();
    });
}

bool TfrmRefList::mayDelete(int row)
{
    const QString refusal = RefLists::deleteRefusal(m_config, DataSource1->rows().at(row, QStringLiteral("ID")));
    if (refusal.isEmpty())
        return true;
    showInfo(this, refusal);
    return false;
}

void TfrmRefList::D1Click()
{
    guard(this, [&] {
        if (DataSource1->rowCount() == 0)
            return;
        const int row = currentRow();
        if (!mayDelete(row))
            return;
        if (!confirmDelete(this))
            return;
        RefLists::remove(m_config, DataSource1->rows().at(row, QStringLiteral("ID")));
        myRef();
    });
}
