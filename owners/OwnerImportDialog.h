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
class TfrmUH_D : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUH_D(QWidget *parent = nullptr);

    // The file dialog OpenDialog1: given the window and the filter text, returns the
    // chosen file or an empty text when cancelled. Tests replace it; nullptr restores
    // the real dialog.
    using FileChooser = std::function<QString(QWidget *parent, const QString &filter)>;
    static void setFileChooser(FileChooser chooser);
    static QString fileFilter();
    // What a cancelled import says: how many houses were added, and that the same sheet
    // adds the rest.
    static QString cancelledMessage(int added);

    QGroupBox *GroupBox2;
    QTableView *DBGrid1;
    LookupCombo *DBLookupComboBox1;
    QPushButton *Button1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    SheetModel *DataSource1;

public slots:
    void FormCreate();
    void Button1Click();
    void BitBtn1Click();

private:
    // Opens a chosen workbook into the preview.
    void openWorkbook(const QString &path);
    QString m_fileName; // of the workbook in the preview, for the change record
};
