#include "db/DbError.h"
#include "sheets/SheetReader.h"
#include "tests/support/ImportFiles.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace ImportFiles;

class TestSheetReader : public QObject {
    Q_OBJECT
private slots:
    void everyWriterGivesTheSameRows_data();
    void everyWriterGivesTheSameRows();
    void excelDialectXlsx();
    void odsRepeatsAndNotes();
    void csvQuotingAndEncodings();
    void errorsSayWhat_data();
    void errorsSayWhat();
    void hostileFiles_data();
    void hostileFiles();
    void hostileFilesUnderAMemoryLimit();
    void storedNumberTexts_data();
    void storedNumberTexts();
    void numberAndDateTexts_data();
    void numberAndDateTexts();
    void dateFormatCodes_data();
    void dateFormatCodes();

private:
    QTemporaryDir m_dir;
    QString tmp(const QString &name) const { return m_dir.filePath(name); }
};

static QString fixture(const QString &name)
{
    return QStringLiteral(TEST_FIXTURES_DIR "/import/") + name;
}

void TestSheetReader::everyWriterGivesTheSameRows_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("columns");

    const QString normal = tmp(QStringLiteral("normal.xlsx"));
    const QString constant = tmp(QStringLiteral("constant.xlsx"));
    QVERIFY(writeXlsx(normal, ownerRows(), false, "Sheet1", "说明"));
    QVERIFY(writeXlsx(constant, ownerRows(), true, "Sheet1", "说明"));
    // The name does not decide the reader: capitals, or another format's extension.
    QFile::copy(normal, tmp(QStringLiteral("UPPER.XLSX")));
    QFile::copy(fixture(QStringLiteral("from-libreoffice.xls")), tmp(QStringLiteral("UPPER.XLS")));
    QFile::copy(constant, tmp(QStringLiteral("really-xlsx.xls")));
    QFile::copy(fixture(QStringLiteral("from-libreoffice.ods")), tmp(QStringLiteral("no-extension")));
    QFile bom(tmp(QStringLiteral("utf8-bom.csv")));
    QFile gbk(fixture(QStringLiteral("gbk.csv")));
    QVERIFY(bom.open(QIODevice::WriteOnly) && gbk.open(QIODevice::ReadOnly));
    QStringDecoder decoder("GB18030");
    const QString text = decoder.decode(gbk.readAll());
    bom.write("\xEF\xBB\xBF" + text.toUtf8());
    bom.close();

    using F = SheetReader::Format;
    QTest::newRow("libxlsxwriter") << normal << int(F::Xlsx) << 9;
    QTest::newRow("libxlsxwriter constant memory (inline strings)") << constant << int(F::Xlsx) << 9;
    QTest::newRow("openpyxl (absolute part names)") << fixture(QStringLiteral("from-openpyxl.xlsx")) << int(F::Xlsx) << 9;
    QTest::newRow("LibreOffice xlsx") << fixture(QStringLiteral("from-libreoffice.xlsx")) << int(F::Xlsx) << 9;
    QTest::newRow("LibreOffice xls") << fixture(QStringLiteral("from-libreoffice.xls")) << int(F::Xls) << 9;
    QTest::newRow("LibreOffice ods") << fixture(QStringLiteral("from-libreoffice.ods")) << int(F::Ods) << 9;
    QTest::newRow("GBK csv") << fixture(QStringLiteral("gbk.csv")) << int(F::Csv) << 8;
    QTest::newRow("UTF-8 csv with BOM") << tmp(QStringLiteral("utf8-bom.csv")) << int(F::Csv) << 8;
    QTest::newRow("upper-case .XLSX") << tmp(QStringLiteral("UPPER.XLSX")) << int(F::Xlsx) << 9;
    QTest::newRow("upper-case .XLS") << tmp(QStringLiteral("UPPER.XLS")) << int(F::Xls) << 9;
    QTest::newRow("xlsx named .xls") << tmp(QStringLiteral("really-xlsx.xls")) << int(F::Xlsx) << 9;
    QTest::newRow("ods without extension") << tmp(QStringLiteral("no-extension")) << int(F::Ods) << 9;
}

void TestSheetReader::everyWriterGivesTheSameRows()
{
    QFETCH(QString, path);
    QFETCH(int, format);
    QFETCH(int, columns);
    QCOMPARE(int(SheetReader::detect(path)), format);
    const Sheet sheet = SheetReader::read(path);
    QStringList headings;
    const QList<Row> source = ownerRows();
    for (const QVariant &v : source.first())
        headings << v.toString();
    QCOMPARE(sheet.headings, headings.mid(0, columns));
    QCOMPARE(sheet.rowCount(), 4);
    const QList<QStringList> expected = ownerTexts();
    for (int r = 0; r < 4; ++r)
        QCOMPARE(sheet.row(r), expected.at(r).mid(0, columns));
    QCOMPARE(sheet.sheetRows, (QVector<int>{2, 3, 4, 5}));
}

// What Excel and WPS write and libxlsxwriter does not: prefixed elements, cells without
// references, rich text with phonetic guides, the 1904 date system, East Asian built-in
// date formats, formulas, booleans, and parts named relative, absolute and "..".
void TestSheetReader::excelDialectXlsx()
{
    const QByteArray ns = "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const int serial1904 = int(QDate(1904, 1, 1).daysTo(QDate(2024, 10, 31)));
    const QString path = tmp(QStringLiteral("excel-dialect.xlsx"));
    QVERIFY(writeZip(path, {
        {QStringLiteral("[Content_Types].xml"), "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {QStringLiteral("_rels/.rels"), "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"book/main.xml\"/></Relationships>"},
        {QStringLiteral("book/main.xml"), "<x:workbook " + ns + "><x:workbookPr date1904=\"1\"/><x:sheets>"
            "<x:sheet name=\"目录\" sheetId=\"1\" r:id=\"rId1\"/><x:sheet name=\"sheet1\" sheetId=\"2\" r:id=\"rId2\"/>"
            "</x:sheets></x:workbook>"},
        {QStringLiteral("book/_rels/main.xml.rels"), "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"/book/other.xml\"/>"
            "<Relationship Id=\"rId2\" Type=\"" + rel + "worksheet\" Target=\"../sheets/./data.xml\"/>"
            "<Relationship Id=\"rId3\" Type=\"" + rel + "sharedStrings\" Target=\"strings.xml\"/>"
            "<Relationship Id=\"rId4\" Type=\"" + rel + "styles\" Target=\"/book/styles.xml\"/>"
            "<Relationship Id=\"rId5\" Type=\"" + rel + "hyperlink\" Target=\"http://example.invalid/\" TargetMode=\"External\"/>"
            "</Relationships>"},
        {QStringLiteral("book/strings.xml"), "<x:sst " + ns + ">"
            "<x:si><x:r><x:t>房</x:t></x:r><x:r><x:rPr><x:b/></x:rPr><x:t>号</x:t></x:r><x:rPh sb=\"0\" eb=\"1\"><x:t>fang</x:t></x:rPh></x:si>"
            "<x:si><x:t xml:space=\"preserve\"> 东 区 </x:t></x:si>"
            "<x:si><x:t>到期日期</x:t></x:si></x:sst>"},
        {QStringLiteral("book/styles.xml"), "<x:styleSheet " + ns + ">"
            "<x:numFmts count=\"2\"><x:numFmt numFmtId=\"176\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;\"/>"
            "<x:numFmt numFmtId=\"177\" formatCode=\"0.00_ \"/></x:numFmts>"
            "<x:cellStyleXfs count=\"2\"><x:xf numFmtId=\"0\"/><x:xf numFmtId=\"14\"/></x:cellStyleXfs>"
            "<x:cellXfs count=\"5\"><x:xf numFmtId=\"0\" xfId=\"1\"/><x:xf numFmtId=\"31\"/><x:xf numFmtId=\"176\"/>"
            "<x:xf numFmtId=\"177\"/><x:xf numFmtId=\"20\"/></x:cellXfs></x:styleSheet>"},
        {QStringLiteral("book/other.xml"), "<x:worksheet " + ns + "><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>错</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>"},
        {QStringLiteral("sheets/data.xml"), "<x:worksheet " + ns + "><x:sheetData>"
            "<x:row><x:c t=\"s\"><x:v>0</x:v></x:c><x:c t=\"s\"><x:v>2</x:v></x:c><x:c t=\"inlineStr\"><x:is><x:t>金额</x:t></x:is></x:c>"
            "<x:c r=\"E1\" t=\"inlineStr\"><x:is><x:r><x:t>登记</x:t></x:r><x:r><x:t>时间</x:t></x:r></x:is></x:c>"
            "<x:c r=\"F1\" t=\"inlineStr\"><x:is><x:t>有效</x:t></x:is></x:c></x:row>"
            "<x:row r=\"3\"><x:c r=\"A3\"><x:v>1201</x:v></x:c><x:c r=\"B3\" s=\"1\"><x:v>" + QByteArray::number(serial1904) + "</x:v></x:c>"
            "<x:c r=\"C3\" s=\"3\"><x:f>1+1</x:f><x:v>88.560000000000002</x:v></x:c>"
            "<x:c r=\"E3\" s=\"4\"><x:v>0.5</x:v></x:c><x:c r=\"F3\" t=\"b\"><x:v>1</x:v></x:c></x:row>"
            "<x:row r=\"4\"><x:c r=\"A4\" t=\"s\"><x:v>1</x:v></x:c><x:c r=\"B4\" s=\"2\"><x:v>" + QByteArray::number(serial1904 + 1) + "</x:v></x:c>"
            "<x:c r=\"C4\" t=\"str\"><x:f>A4</x:f><x:v>算出</x:v></x:c><x:c r=\"D4\" t=\"e\"><x:v>#N/A</x:v></x:c>"
            "<x:c r=\"E4\" t=\"d\"><x:v>2024-10-31T08:00:00</x:v></x:c></x:row>"
            "<x:row r=\"6\"><x:c r=\"A6\" s=\"3\"/><x:c r=\"B6\" t=\"inlineStr\"><x:is><x:t></x:t></x:is></x:c></x:row>"
            "</x:sheetData></x:worksheet>"},
    }));
    const Sheet sheet = SheetReader::read(path);
    QCOMPARE(sheet.headings, (QStringList{"房号", "到期日期", "金额", "F4", "登记时间", "有效"}));
    QCOMPARE(sheet.sheetRows, (QVector<int>{3, 4}));
    QCOMPARE(sheet.row(0), (QStringList{"1201", "2024-10-31", "88.56", "", "12:00:00", "TRUE"}));
    QCOMPARE(sheet.row(1), (QStringList{" 东 区 ", "2024-11-01", "算出", "#N/A", "2024-10-31 08:00:00", ""}));
}

void TestSheetReader::odsRepeatsAndNotes()
{
    const QByteArray ns = "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                          "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";
    const QString path = tmp(QStringLiteral("repeats.ods"));
    QVERIFY(writeZip(path, {
        {QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
        {QStringLiteral("content.xml"), "<office:document-content " + ns + "><office:body><office:spreadsheet>"
            "<table:table table:name=\"说明\"><table:table-row><table:table-cell office:value-type=\"string\"><text:p>错</text:p></table:table-cell></table:table-row></table:table>"
            "<table:table table:name=\"Sheet1\"><table:table-column table:number-columns-repeated=\"1024\"/>"
            "<table:table-header-rows><table:table-row>"
            "<table:table-cell office:value-type=\"string\"><text:p>房号</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"string\"><text:p>单价</text:p></table:table-cell>"
            "<table:table-cell table:number-columns-repeated=\"2\"/>"
            "<table:table-cell office:value-type=\"string\"><text:p>备注</text:p></table:table-cell>"
            "<table:table-cell table:number-columns-repeated=\"16379\"/></table:table-row></table:table-header-rows>"
            "<table:table-row table:number-rows-repeated=\"2\">"
            "<table:table-cell office:value-type=\"string\"><text:p>A<text:s text:c=\"2\"/>1</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"currency\" office:value=\"22.50\" table:number-columns-repeated=\"2\"><text:p>¥22.50</text:p></table:table-cell>"
            "<table:covered-table-cell/>"
            "<table:table-cell office:value-type=\"string\"><office:annotation><text:p>批注</text:p></office:annotation>"
            "<text:p>第一行</text:p><text:p><text:span>第二</text:span>行</text:p></table:table-cell></table:table-row>"
            "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell table:number-columns-repeated=\"1024\"/></table:table-row>"
            "</table:table></office:spreadsheet></office:body></office:document-content>"},
    }));
    const Sheet sheet = SheetReader::read(path);
    QCOMPARE(sheet.headings, (QStringList{"房号", "单价", "F3", "F4", "备注"}));
    const QStringList row{"A  1", "22.5", "22.5", "", "第一行\n第二行"};
    QCOMPARE(sheet.rowCount(), 2);
    QCOMPARE(sheet.row(0), row);
    QCOMPARE(sheet.row(1), row);
    QCOMPARE(sheet.sheetRows, (QVector<int>{2, 3}));
}

void TestSheetReader::csvQuotingAndEncodings()
{
    const QString path = tmp(QStringLiteral("quoting.csv"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("房号,备注,单价\n\"A,1\",\"两行\r\n文字\",\"\"\"引号\"\"\"\n\n B-2 ,,0022\r\n");
    f.close();
    const Sheet sheet = SheetReader::read(path);
    QCOMPARE(sheet.headings, (QStringList{"房号", "备注", "单价"}));
    // Text stays as written: no number conversion, nothing trimmed; blank lines dropped.
    QCOMPARE(sheet.rowCount(), 2);
    QCOMPARE(sheet.row(0), (QStringList{"A,1", "两行\r\n文字", "\"引号\""}));
    QCOMPARE(sheet.row(1), (QStringList{" B-2 ", "", "0022"}));
    QCOMPARE(sheet.sheetRows, (QVector<int>{2, 4}));
}

void TestSheetReader::errorsSayWhat_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");

    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(tmp(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return tmp(name);
    };
    const QString other = tmp(QStringLiteral("other-sheet.xlsx"));
    QVERIFY(writeXlsx(other, ownerRows(), false, "业主"));
    const QString empty = tmp(QStringLiteral("empty-sheet1.xlsx"));
    QVERIFY(writeXlsx(empty, {}, true));
    const QString titleLater = tmp(QStringLiteral("title-later.xlsx"));
    QVERIFY(writeXlsx(titleLater, {{}, {QStringLiteral("房号")}, {QStringLiteral("1-101")}}));
    QFile whole(fixture(QStringLiteral("from-openpyxl.xlsx")));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QString truncated = write(QStringLiteral("truncated.xlsx"), whole.read(whole.size() / 2));
    const QString text = tmp(QStringLiteral("notes.zip"));
    QVERIFY(writeZip(text, {{QStringLiteral("readme.txt"), "hello"}}));
    const QString odt = tmp(QStringLiteral("letter.ods"));
    QVERIFY(writeZip(odt, {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text"}}));
    const QString odsOther = tmp(QStringLiteral("other.ods"));
    QVERIFY(writeZip(odsOther, {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                                {QStringLiteral("content.xml"),
                                 "<d xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"><table:table table:name=\"数据\"/></d>"}}));
    const QString badXml = tmp(QStringLiteral("bad.ods"));
    QVERIFY(writeZip(badXml, {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet"},
                              {QStringLiteral("content.xml"), "<d><table"}}));

    QDir(m_dir.path()).mkpath(QStringLiteral("folder.xlsx"));
    const QString fifo = tmp(QStringLiteral("pipe.csv"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0 || QFileInfo(fifo).exists());
    QTest::newRow("missing") << tmp(QStringLiteral("nowhere.xlsx")) << "找不到文件";
    QTest::newRow("folder") << tmp(QStringLiteral("folder.xlsx")) << "这是文件夹，不是工作簿";
    QTest::newRow("pipe") << fifo << "这不是普通文件，不是工作簿";
    QTest::newRow("text named .xlsx") << write(QStringLiteral("text.xlsx"), "房号,面积\n1,2\n") << "文件名是 .xlsx，但内容是文本，不是工作簿";
    QTest::newRow("web page named .csv") << write(QStringLiteral("page.csv"), "\xEF\xBB\xBF <!DOCTYPE html><html></html>") << "这是网页（HTML）或 XML 文件";
    QTest::newRow("empty file") << write(QStringLiteral("empty.xls"), {}) << "文件是空的";
    QTest::newRow("binary") << write(QStringLiteral("picture.xls"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11)) << "不是 Excel、OpenDocument 电子表格或 CSV 文件";
    QTest::newRow("truncated xlsx") << truncated << "无法读取文件";
    QTest::newRow("zip of other things") << text << "这是压缩文件，不是工作簿";
    QTest::newRow("text document") << odt << "不是电子表格";
    QTest::newRow("damaged ods") << badXml << "已损坏";
    QTest::newRow("xlsx without Sheet1") << other << "中没有名为 Sheet1 的工作表（现有工作表：业主）";
    QTest::newRow("xls without Sheet1") << fixture(QStringLiteral("no-sheet1.xls")) << "中没有名为 Sheet1 的工作表（现有工作表：业主）";
    QTest::newRow("ods without Sheet1") << odsOther << "中没有名为 Sheet1 的工作表（现有工作表：数据）";
    QTest::newRow("Sheet1 empty") << empty << "工作表 Sheet1 没有标题行";
    QTest::newRow("first row empty") << titleLater << "工作表 Sheet1 没有标题行";
    QTest::newRow("csv not UTF-8 nor GBK") << write(QStringLiteral("latin.csv"), "\x81\x20\xFF,\xFE\n") << "既不是 UTF-8 也不是 GBK";
}

void TestSheetReader::errorsSayWhat()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    try {
        SheetReader::read(path);
        QFAIL("no error");
    } catch (const AppError &e) {
        if (!e.message().contains(message))
            QFAIL(qPrintable(e.message()));
    }
}

static QString hostile(const QString &name)
{
    return QStringLiteral(TEST_FIXTURES_DIR "/hostile/") + name;
}

void TestSheetReader::hostileFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message"); // empty: read, with the sheet's real cells only
    QTest::newRow("cell in column 1,000,000") << "far-column.xlsx" << "第 2 行第 1000000 列有内容，超出电子表格的最大列数 16384";
    QTest::newRow("row past the last") << "far-row.xlsx" << "第 1048577 行第 1 列有内容，超出电子表格的最大行数 1048576";
    QTest::newRow("line of 20,000 fields") << "wide-line.csv" << "第 2 行第 20001 列有内容，超出电子表格的最大列数 16384";
    QTest::newRow("ten-million-character shared string") << "long-shared-string.xlsx" << "共享字符串第 1 项超过 32767 个字符";
    QTest::newRow("200 million spaces") << "spaces.ods" << "第 2 行第 1 列的单元格超过 32767 个字符";
    QTest::newRow("text repeated over the whole sheet") << "repeated.ods" << "有内容的单元格超过 10000000 个";
    QTest::newRow("a million nested tags") << "nested-tags.xlsx" << "XML 元素嵌套超过 256 层";
    QTest::newRow("unclosed quote") << "unclosed-quote.csv" << "第 3 行的引号没有结束";
    QTest::newRow("web page named .xls") << "web-page.xls" << "这是网页（HTML）或 XML 文件，不是工作簿";
    QTest::newRow("stray cell in XFD1") << "stray-xfd1.xlsx" << "";
}

// Each once took gigabytes for a few kilobytes of file, or crashed, or read silently wrong.
void TestSheetReader::hostileFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    try {
        const Sheet sheet = SheetReader::read(hostile(file));
        QVERIFY2(message.isEmpty(), "no error");
        // The stray cell names the last column, yet every house keeps its own eight cells.
        QCOMPARE(sheet.columnCount(), 16384);
        QCOMPARE(sheet.headings.last(), QStringLiteral("x"));
        QCOMPARE(sheet.rowCount(), 3000);
        for (const SheetRow &row : sheet.rows)
            QCOMPARE(row.size(), 7);
        QCOMPARE(sheet.cell(2999, 5), QStringLiteral("业主3001"));
        QCOMPARE(sheet.cell(2999, 16383), QString());
    } catch (const AppError &e) {
        QVERIFY2(!message.isEmpty() && e.message().contains(message), qPrintable(e.message()));
    }
}

// The admin tool reads each of them under an address-space limit below what they once
// took (2.4 to 5.5 GB): a message or an import, never a crash.
void TestSheetReader::hostileFilesUnderAMemoryLimit()
{
#if defined(__SANITIZE_ADDRESS__)
    // The address checker reserves terabytes of address space for its shadow memory: no
    // tool built with it starts under an address-space limit. The files themselves are
    // read without the limit by the other hostile-file tests of this build.
    QSKIP("built with the address checker, which cannot run under an address-space limit");
#endif
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    QCOMPARE(runAdmin({"sql", "--db", db, "INSERT INTO SArea (theName) VALUES ('东区')"}), 0);
    const QStringList files = QDir(hostile(QString())).entryList({"*.xlsx", "*.ods", "*.csv", "*.xls"}, QDir::Files);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files) {
        QProcess p;
        p.setChildProcessModifier([] {
            const rlimit limit{rlim_t(1536) << 20, rlim_t(1536) << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        p.start(QStringLiteral(ADMIN_TOOL_PATH), {"import", "--db", db, hostile(file), "--area", "东区"});
        QVERIFY(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitStatus() == QProcess::NormalExit, qPrintable(file));
        if (file == QLatin1String("stray-xfd1.xlsx")) {
            QCOMPARE(p.exitCode(), 0);
        } else {
            QVERIFY2(p.exitCode() == 1, qPrintable(file + QLatin1Char(' ') + err));
            QVERIFY2(err.contains(QStringLiteral("无法读取文件")) || err.contains(QStringLiteral("已损坏")) || err.contains(QStringLiteral("超出"))
                         || err.contains(QStringLiteral("超过")),
                     qPrintable(file + QLatin1Char(' ') + err));
        }
    }
    QString out;
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT COUNT(*) AS n FROM UHouse"}, &out), 0);
    QCOMPARE(out, QStringLiteral("n\n3000\n"));
}

void TestSheetReader::storedNumberTexts_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("general whole") << "1201" << "1201";
    QTest::newRow("general decimal") << "88.56" << "88.56";
    QTest::newRow("negative") << "-2.5" << "-2.5";
    QTest::newRow("zero") << "0" << "0";
    QTest::newRow("minus zero") << "-0" << "0";
    QTest::newRow("small") << "0.000012345" << "0.000012345";
    QTest::newRow("15 digits") << "123456789012.345" << "123456789012.345";
    QTest::newRow("17 digits") << "88.560000000000002" << "88.56";
    QTest::newRow("binary noise") << "0.30000000000000004" << "0.3";
    QTest::newRow("trailing zero") << "88.50" << "88.5";
    QTest::newRow("leading zero") << "007" << "7";
    QTest::newRow("exponent") << "1.5E-3" << "0.0015";
    QTest::newRow("big exponent") << "1.3812345678E10" << "13812345678";
    QTest::newRow("point only") << "5." << "5";
    QTest::newRow("blank around") << " 42 " << "42";
    QTest::newRow("no number") << "abc" << "abc";
    // Never 0: kept as written, so the import refuses them as no number.
    QTest::newRow("infinity") << "INF" << "INF";
    QTest::newRow("not a number") << "NaN" << "NaN";
    QTest::newRow("beyond double") << "1e999" << "1e999";
}

void TestSheetReader::storedNumberTexts()
{
    QFETCH(QString, stored);
    QFETCH(QString, text);
    QCOMPARE(SheetReader::storedNumberText(stored), text);
}

void TestSheetReader::numberAndDateTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1201.0 << "number" << "1201";
    QTest::newRow("decimal") << 88.56 << "number" << "88.56";
    QTest::newRow("binary noise") << 0.1 + 0.2 << "number" << "0.3";
    QTest::newRow("phone") << 13812345678.0 << "number" << "13812345678";
    QTest::newRow("negative") << -2.5 << "number" << "-2.5";
    QTest::newRow("date") << 45596.0 << "date" << "2024-10-31";
    QTest::newRow("date and time") << 45596.75 << "date" << "2024-10-31 18:00:00";
    QTest::newRow("rounds to next day") << 45596.999999999 << "date" << "2024-11-01";
    QTest::newRow("before March 1900") << 59.0 << "date" << "1900-02-28";
    QTest::newRow("1 March 1900") << 61.0 << "date" << "1900-03-01";
    QTest::newRow("1904 system") << 0.0 << "date1904" << "1904-01-01";
    QTest::newRow("time") << 0.5208333333 << "time" << "12:30:00";
}

void TestSheetReader::numberAndDateTexts()
{
    QFETCH(double, value);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    if (kind == QLatin1String("number"))
        QCOMPARE(SheetReader::numberText(value), text);
    else
        QCOMPARE(SheetReader::serialDateText(value, kind == QLatin1String("date1904"), kind == QLatin1String("time")), text);
}

void TestSheetReader::dateFormatCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("isDate");
    QTest::addColumn<bool>("timeOnly");
    QTest::newRow("iso") << "yyyy-mm-dd" << true << false;
    QTest::newRow("escaped") << "yyyy\\-mm\\-dd" << true << false;
    QTest::newRow("chinese") << "yyyy\"年\"m\"月\"d\"日\"" << true << false;
    QTest::newRow("locale prefix") << "[$-804]yyyy/m/d" << true << false;
    QTest::newRow("date time") << "yyyy/m/d h:mm" << true << false;
    QTest::newRow("time") << "h:mm:ss" << true << true;
    QTest::newRow("elapsed") << "[h]:mm" << true << true;
    QTest::newRow("month text") << "mmm" << true << false;
    QTest::newRow("general") << "General" << false << false;
    QTest::newRow("decimals") << "0.00_ " << false << false;
    QTest::newRow("exponent") << "0.00E+00" << false << false;
    QTest::newRow("red negatives") << "#,##0.00;[Red]-#,##0.00" << false << false;
    QTest::newRow("quoted letters") << "0\"day\"" << false << false;
    QTest::newRow("text") << "@" << false << false;
}

void TestSheetReader::dateFormatCodes()
{
    QFETCH(QString, code);
    QFETCH(bool, isDate);
    QFETCH(bool, timeOnly);
    bool only = false;
    QCOMPARE(SheetReader::isDateFormatCode(code, &only), isDate);
    QCOMPARE(only, timeOnly);
}

QTEST_GUILESS_MAIN(TestSheetReader)
#include "tst_sheetreader.moc"
