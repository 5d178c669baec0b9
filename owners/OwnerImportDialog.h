#pragma once
#include <QDialog>

#include <functional>

class LookupCombo;
class QGroupBox;
class QPushButton;
class QTableView;
class SheetModel;

// Owner import: previews the sheet "Sheet1" of a workbook and adds its houses to the
// chosen residential area.
class OwnerImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit OwnerImportDialog(QWidget *parent = nullptr);

    // The file dialog: given the window and the filter text, returns the
    // chosen file or an empty text when cancelled. Tests replace it; nullptr restores
    // the real dialog.
    using FileChooser = std::function<QString(QWidget *parent, const QString &filter)>;
    static void setFileChooser(FileChooser chooser);
    static QString fileFilter();
    // What a cancelled import says: how many houses were added, and that the same sheet
    // adds the rest.
    static QString cancelledMessage(int added);

    QGroupBox *sheetGroup;
    QTableView *sheetGrid;
    LookupCombo *areaBox;
    QPushButton *openButton;
    QPushButton *importButton;
    QPushButton *closeButton;
    SheetModel *sheetModel;

public slots:
    void loadAreas();
    void chooseWorkbook();
    void importOwners();

private:
    // Opens a chosen workbook into the preview.
    void openWorkbook(const QString &path);
    QString m_fileName; // of the workbook in the preview, for the change record
};
