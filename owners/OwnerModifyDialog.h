#pragma once
#include "owners/OwnerDialog.h"

#include <QPointer>

#include <optional>

class BrowseWindow;

// "业主修改": changes one house. The boxes show the house as it is stored when the dialog
// opens (not the list's copy, which may be old); picking a purpose looks the current
// price up.
class OwnerModifyDialog : public OwnerDialog {
    Q_OBJECT
public:
    explicit OwnerModifyDialog(QWidget *parent = nullptr);

    // Fills the boxes with house houseId as stored now and remembers it, so that the save
    // can tell whether anyone changed the house in between. Throws AppError when the
    // house is gone.
    void load(const QString &houseId);

    // The ID of the house being changed, as text.
    QString editedHouseId;
    // The management window refreshed after a save; only that one.
    QPointer<BrowseWindow> opener;

private:
    std::optional<House> m_asOpened;

public slots:
    // The same checks as entry, no duplicate check; writes the house, reports, refreshes
    // the opener and closes. A house changed by anyone since load is not written: the
    // message says what changed and the dialog stays open.
    void save() override;
};
