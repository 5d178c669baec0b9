#pragma once
#include <QComboBox>

class LookupList;

// A lookup box over one of the data module's shared name lists. It starts without a
// choice and reads back an empty text then; the operator can pick only listed names.
// When the shared list is re-read (from any screen) the box keeps its own choice.
class LookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit LookupCombo(QWidget *parent = nullptr);

    void bind(LookupList *list);
    // Selects by key value (the name itself). A name not in the list leaves no choice.
    // Does not emit picked().
    void setKeyValue(const QString &name);
    QString keyValue() const { return m_key; }
    // The chosen name, or the empty text.
    QString text() const { return m_key; }
    void clearChoice();

signals:
    // The operator chose an entry, by mouse or keyboard.
    void picked();

private:
    void restoreChoice();
    QString m_key;
};
