#include "data/OutputFile.h"
#include "db/DbError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void syncFolderOf(const QString &path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
} // namespace

OutputFile::OutputFile(const QString &target)
    : m_target(QFileInfo(target).absoluteFilePath())
{
    const QFileInfo fi(m_target);
    if (fi.isDir())
        fail(QStringLiteral("这是一个文件夹"));
    // A hidden name beside the target, with a random part mkstemp makes and opens
    // exclusively (O_EXCL, mode 0600): nothing else can be at that name.
    QByteArray name = QFile::encodeName(QDir(fi.absolutePath()).filePath(QStringLiteral(".") + fi.fileName()))
        + ".XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0)
        fail(systemError(errno));
    m_temp = QFile::decodeName(name);
    if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(name.constData());
        fail(m_file.errorString());
    }
}

OutputFile::~OutputFile()
{
    if (!m_done) {
        m_file.close();
        ::unlink(QFile::encodeName(m_temp).constData());
    }
}

void OutputFile::fail(const QString &why) const
{
    throw AppError(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(m_target), why));
}

QString OutputFile::writerPath() const
{
    const QString own = QStringLiteral("/proc/self/fd/%1").arg(m_file.handle());
    return QFileInfo::exists(own) ? own : m_temp;
}

void OutputFile::commit()
{
    const QByteArray temp = QFile::encodeName(m_temp);
    // On the disk before it takes the target's place: a crash leaves the old file or the
    // whole new one, never a truncated one.
    if (!m_file.flush())
        fail(m_file.errorString());
    if (::fsync(m_file.handle()) != 0)
        fail(systemError(errno));
    // The name still leads to this file (nothing was put in its place meanwhile).
    struct stat own {}, named {};
    if (::fstat(m_file.handle(), &own) != 0 || ::lstat(temp.constData(), &named) != 0 || own.st_dev != named.st_dev
        || own.st_ino != named.st_ino)
        fail(QStringLiteral("临时文件已被替换"));
    // rename replaces the directory entry: a link at the target is itself replaced.
    if (std::rename(temp.constData(), QFile::encodeName(m_target).constData()) != 0)
        fail(systemError(errno));
    m_done = true;
    m_file.close();
    syncFolderOf(m_target);
}

void OutputFile::placeNew(const QString &written, const QString &target)
{
    const QByteArray from = QFile::encodeName(QFileInfo(written).absoluteFilePath());
    const QByteArray to = QFile::encodeName(QFileInfo(target).absoluteFilePath());
    const QString shown = QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
    // The engine's own rename that refuses an existing name; where the file system does
    // not offer it, a second name made and the first removed, which refuses alike.
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        rc = ::link(from.constData(), to.constData());
        if (rc == 0)
            ::unlink(from.constData());
    }
    if (rc != 0) {
        const int error = errno;
        if (error == EEXIST)
            throw AppError(QStringLiteral("文件已经存在（或是一个链接），不会覆盖：%1").arg(shown));
        throw AppError(QStringLiteral("无法写入文件 %1：%2").arg(shown, systemError(error)));
    }
    syncFolderOf(target);
}
