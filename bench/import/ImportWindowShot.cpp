// Takes the picture of the owner import window with a previewed sheet for the docs:
//   import-window-shot OUT.png      (run under Xvfb; see scripts/screenshot-import.sh)
// The sheet is written here with libxlsxwriter and opened through the window's own
// "打开" handler, the file dialog replaced by the chosen file.
#include "data/Schema.h"
#include "data/TfrmDM.h"
#include "owners/TfrmUH_D.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <xlsxwriter.h>

static void writeSheet(const QString &path)
{
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Sheet1");
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    const char *titles[] = {"房号", "面积", "房屋用途", "单价", "到期日期", "业主名称", "手机号码", "备注"};
    for (int c = 0; c < 8; ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), titles[c], nullptr);
    const char *names[] = {"张建国", "李秀英", "王志强", "刘芳", "陈明", "杨丽华", "赵军", "黄海燕",
                           "周涛", "吴桂兰", "徐磊", "孙静", "马俊", "朱红梅"};
    const double areas[] = {88.56, 120, 96.3, 75.8, 143.25, 88.56, 62, 110.4, 96.3, 75.8, 130, 88.56, 54.7, 101.2};
    for (int r = 1; r <= 14; ++r) {
        const QByteArray room = QStringLiteral("%1-%2").arg((r - 1) / 4 + 1).arg(100 * ((r - 1) % 4 + 1) + (r % 2 ? 1 : 2)).toUtf8();
        worksheet_write_string(ws, lxw_row_t(r), 0, room.constData(), nullptr);
        worksheet_write_number(ws, lxw_row_t(r), 1, areas[r - 1], nullptr);
        const bool shop = r == 5 || r == 11;
        worksheet_write_string(ws, lxw_row_t(r), 2, shop ? "商铺" : "住宅", nullptr);
        worksheet_write_number(ws, lxw_row_t(r), 3, shop ? 38.5 : 25, nullptr);
        lxw_datetime dt{2024, 10, 31, 0, 0, 0};
        if (r % 5 == 0)
            dt.year = 2023;
        worksheet_write_datetime(ws, lxw_row_t(r), 4, &dt, date);
        worksheet_write_string(ws, lxw_row_t(r), 5, names[r - 1], nullptr);
        const QByteArray phone = QStringLiteral("1381234%1").arg(5000 + r * 37).toUtf8();
        worksheet_write_string(ws, lxw_row_t(r), 6, phone.constData(), nullptr);
        if (shop)
            worksheet_write_string(ws, lxw_row_t(r), 7, "临街商铺", nullptr);
        else if (r == 3)
            worksheet_write_string(ws, lxw_row_t(r), 7, "南北通透", nullptr);
    }
    workbook_close(wb);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    Schema::createFile(db);
    frmDM().setConnection(db, QString::fromUtf8(Schema::DatabaseKey));
    frmDM().myESQL(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东城花园'), ('西湖小区'), ('南苑新村')"));
    const QString sheet = dir.filePath(QStringLiteral("东城花园业主.xlsx"));
    writeSheet(sheet);

    TfrmUH_D::setFileChooser([&](QWidget *, const QString &) { return sheet; });
    TfrmUH_D w;
    w.move(40, 40);
    w.show();
    w.Button1Click();
    w.DBLookupComboBox1->setKeyValue(QStringLiteral("东城花园"));
    QTimer::singleShot(800, &app, [&] {
        const QPixmap shot = w.screen()->grabWindow(w.winId());
        app.exit(shot.save(out) ? 0 : 1);
    });
    return app.exec();
}
