#include "widgets/LookupCombo.h"
#include "data/DataModule.h"

LookupCombo::LookupCombo(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    setMinimumContentsLength(8);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(this, &QComboBox::activated, this, [this](int index) {
        m_key = index >= 0 ? itemText(index) : QString();
        emit picked();
    });
}

void LookupCombo::bind(LookupList *list)
{
    if (model() != list) {
        setModel(list);
        connect(list, &QAbstractItemModel::modelReset, this, &LookupCombo::restoreChoice);
        connect(list, &QAbstractItemModel::rowsInserted, this, &LookupCombo::restoreChoice);
        connect(list, &QAbstractItemModel::rowsRemoved, this, &LookupCombo::restoreChoice);
    }
    restoreChoice();
}

void LookupCombo::setKeyValue(const QString &name)
{
    m_key = name;
    restoreChoice();
}

void LookupCombo::clearChoice()
{
    m_key.clear();
    setCurrentIndex(-1);
}

void LookupCombo::restoreChoice()
{
    const int i = m_key.isEmpty() ? -1 : findText(m_key, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (i < 0)
        m_key.clear();
    setCurrentIndex(i);
}
