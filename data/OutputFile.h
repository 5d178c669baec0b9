#pragma once
#include <QFile>
#include <QString>

// A file the program writes for the operator (a workbook, a PDF): written to a new
// temporary file in the target's folder and put in the target's place only when
// complete. A failure leaves what was at the target as it was; a symbolic link at the
// target is replaced by the file, never followed, so nothing the link points at (the
// database, another file of the account) is ever written. The file is readable by its
// owner only.
class OutputFile {
public:
    // Creates the temporary file (exclusively, under a name nobody can guess). Throws
    // AppError naming the target when its folder cannot take it.
    explicit OutputFile(const QString &target);
    // Removes the temporary file unless commit put it in place.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    const QString &target() const { return m_target; }
    const QString &tempPath() const { return m_temp; }
    // A name for the temporary file for a writer that opens files by name itself: the
    // open file itself (/proc/self/fd/N), so that nothing put at the temporary name in
    // between is written instead.
    QString writerPath() const;
    // The temporary file, open for writing.
    QFile &file() { return m_file; }

    // Flushes the file to the disk and renames it over the target. Throws AppError
    // naming the target on failure; the temporary file is then removed.
    void commit();

    // For a file written complete under a working name in the target's folder by a writer
    // of its own (a backup, a copied database): gives it the target's name, which must be
    // free. Anything there, a file or a link (also one leading nowhere), is refused
    // (AppError naming the target) and left alone; nothing is written through a link.
    static void placeNew(const QString &written, const QString &target);

private:
    [[noreturn]] void fail(const QString &why) const;

    QString m_target;
    QString m_temp;
    QFile m_file;
    bool m_done = false;
};
