#include "owners/OwnerImportDialog.h"
#include "data/DataModule.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetModel.h"
#include "sheets/SheetReader.h"
#include "widgets/Guard.h"
#include "widgets/LongAction.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <atomic>
#include <memory>
#include <thread>

namespace {

OwnerImportDialog::FileChooser &chooser()
{
    static OwnerImportDialog::FileChooser c;
    return c;
}

QString realChooser(QWidget *parent, const QString &filter)
{
    // The first entry, .xls, is the one selected when the dialog opens.
    QString selected = filter.section(QStringLiteral(";;"), 0, 0);
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter, &selected);
}

// Restores the cursor however the import ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

void OwnerImportDialog::setFileChooser(FileChooser c)
{
    chooser() = std::move(c);
}

QString OwnerImportDialog::cancelledMessage(int added)
{
    return QStringLiteral("导入已取消，已成功导入业主数据 %1 条。再次导入同一文件将补上其余的业主。").arg(added);
}

QString OwnerImportDialog::fileFilter()
{
    return QStringLiteral("Excel文件(*.xls);;Excel文件(*.xlsx);;所有支持的文件(*.xls *.xlsx *.ods *.csv)");
}

OwnerImportDialog::OwnerImportDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("业主导入"));
    resize(850, 400);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    setFont(f);

    sheetGroup = new QGroupBox(QStringLiteral("EXCEL数据"), this);
    sheetGrid = new QTableView(sheetGroup);
    sheetModel = new SheetModel(this);
    sheetGrid->setModel(sheetModel);
    sheetGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sheetGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    sheetGrid->setShowGrid(true);
    sheetGrid->verticalHeader()->setDefaultSectionSize(20);
    auto *gridBox = new QVBoxLayout(sheetGroup);
    gridBox->addWidget(sheetGrid);

    auto *label = new QLabel(QStringLiteral("小区名称："), this);
    areaBox = new LookupCombo(this);
    areaBox->setMinimumWidth(160);
    label->setBuddy(areaBox);
    openButton = new QPushButton(QStringLiteral("打开"), this);
    importButton = new QPushButton(QStringLiteral("导入"), this);
    closeButton = new QPushButton(QStringLiteral("退出"), this);
    importButton->setEnabled(false);
    for (QPushButton *b : {openButton, importButton, closeButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(75);
    }

    auto *bar = new QHBoxLayout;
    bar->addWidget(label);
    bar->addWidget(areaBox);
    bar->addStretch(1);
    bar->addWidget(openButton);
    bar->addWidget(importButton);
    bar->addWidget(closeButton);
    auto *main = new QVBoxLayout(this);
    main->addWidget(sheetGroup, 1);
    main->addLayout(bar);

    connect(openButton, &QPushButton::clicked, this, &OwnerImportDialog::chooseWorkbook);
    connect(importButton, &QPushButton::clicked, this, &OwnerImportDialog::importOwners);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    if (parent) // centred on the main window
        move(parent->geometry().center() - rect().center());
    loadAreas();
}

void OwnerImportDialog::loadAreas()
{
    guard(this, [&] { areaBox->bind(dataModule().areaList()); });
}

void OwnerImportDialog::chooseWorkbook()
{
    guard(this, [&] {
        const FileChooser &choose = chooser();
        const QString path = choose ? choose(this, fileFilter()) : realChooser(this, fileFilter());
        if (path.isEmpty())
            return;
        openWorkbook(path);
    });
}

void OwnerImportDialog::openWorkbook(const QString &path)
{
    // The old preview goes first: a workbook that fails to open leaves it empty, and the
    // caption as it was (it changes only when a sheet is shown).
    sheetModel->clear();
    // The workbook is read on a thread of its own (a large one takes seconds, an .xls its
    // helper process), while the window answers and offers "取消".
    struct Reading {
        std::atomic<bool> stop{false};
        std::atomic<bool> done{false};
        Sheet sheet;
        QString error;
    };
    auto reading = std::make_shared<Reading>();
    std::thread([reading, path] {
        try {
            reading->sheet = SheetReader::read(path, &reading->stop);
        } catch (const AppError &e) {
            reading->error = e.message();
        } catch (const std::exception &e) {
            reading->error = QString::fromLocal8Bit(e.what());
        }
        reading->done = true;
    }).detach();
    {
        LongAction action(this, QStringLiteral("正在读取 %1 …").arg(QFileInfo(path).fileName()));
        if (!action.waitUntil([&] { return reading->done.load(); })) {
            reading->stop = true; // the helper ends; any other reader finishes unheard
            return;
        }
    }
    if (!reading->error.isEmpty())
        throw AppError(reading->error);
    sheetModel->setSheet(std::move(reading->sheet));
    m_fileName = QFileInfo(path).fileName();
    // The widths fit the eight titles in their usual order; a narrower sheet simply has
    // fewer columns to size.
    static const int widths[] = {80, 80, 80, 80, 80, 120, 100, 120};
    for (int c = 0; c < sheetModel->columnCount() && c < 8; ++c)
        sheetGrid->setColumnWidth(c, widths[c]);
    const int rows = sheetModel->rowCount();
    sheetGroup->setTitle(QStringLiteral("EXCEL数据  共有 ") + QString::number(rows) + QStringLiteral(" 条数据"));
    if (rows > 0)
        importButton->setEnabled(true);
}

void OwnerImportDialog::importOwners()
{
    guard(this, [&] {
        const QString area = areaBox->text();
        if (area.isEmpty()) {
            showInfo(this, QStringLiteral("小区名称 不能为空！"));
            areaBox->setFocus();
            return;
        }
        const Sheet &sheet = sheetModel->sheet();
        LongAction action(this, QStringLiteral("正在导入 %1 行…").arg(sheet.rowCount()), sheet.rowCount());
        // The import writes on a thread of its own, on the program's connection (lent to
        // it meanwhile), and the window answers throughout; "取消" stops after the batch
        // just stored, so no house is half stored and the same sheet adds the rest later.
        std::atomic<int> stored{0};
        std::atomic<bool> stop{false};
        int notDates = 0;
        int passedOver = 0;
        int added = 0;
        LongAction::Follow follow;
        follow.label = [&] {
            const int n = stored.load();
            return n > 0 ? QStringLiteral("正在导入：已导入 %1 条").arg(n) : QString();
        };
        follow.done = [&] { return qint64(stored.load()); };
        follow.total = [&] { return qint64(sheet.rowCount()); };
        follow.stop = [&] { stop = true; };
        try {
            action.runOffThread(
                [&] {
                    const Database::Loan loan(dataModule().db());
                    added = OwnerImport::run(
                        sheet, area,
                        [&](int n) {
                            stored = n;
                            if (stop)
                                throw ActionCancelled{};
                        },
                        &notDates, m_fileName, &passedOver);
                },
                follow);
            showInfo(this, OwnerImport::doneMessage(added, notDates, passedOver));
        } catch (const ActionCancelled &) {
            showInfo(this, cancelledMessage(stored));
            return;
        }
        accept();
    });
}
