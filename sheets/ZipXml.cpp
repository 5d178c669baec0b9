#include "sheets/ZipXml.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>

#include <expat.h>
#include <zip.h>

#include <cstring>
#include <exception>
#include <memory>

namespace {

constexpr char NsSeparator = '\x01';

std::string_view localName(const char *name)
{
    std::string_view n(name);
    const auto cut = n.rfind(NsSeparator);
    return cut == std::string_view::npos ? n : n.substr(cut + 1);
}

QString damaged(const QString &path, const std::string &part, const QString &why)
{
    return QStringLiteral("文件 %1 已损坏，无法读取（%2：%3）")
        .arg(QDir::toNativeSeparators(path), QString::fromStdString(part), why);
}

// What the callbacks share. An exception must not cross the parser's C code: it is kept,
// the parser stopped, and thrown again once the parser has returned.
struct ParseContext {
    XmlHandler *handler;
    XML_Parser parser;
    QString path;
    std::string part;
    int depth = 0;
    std::exception_ptr failure;
};

// Sheets nest a handful of elements; ten million nested tags (a few kilobytes zipped)
// would only grow the parser's own stack.
constexpr int MaxDepth = 256;

template <typename F>
void guarded(void *data, F f)
{
    auto *c = static_cast<ParseContext *>(data);
    if (c->failure)
        return;
    try {
        f(*c);
    } catch (...) {
        c->failure = std::current_exception();
        XML_StopParser(c->parser, XML_FALSE);
    }
}

void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **attributes)
{
    guarded(data, [&](ParseContext &c) {
        if (++c.depth > MaxDepth)
            throw AppError(damaged(c.path, c.part, QStringLiteral("XML 元素嵌套超过 %1 层").arg(MaxDepth)));
        c.handler->start(localName(name), attributes);
    });
}

void XMLCALL onEnd(void *data, const XML_Char *name)
{
    guarded(data, [&](ParseContext &c) {
        --c.depth;
        c.handler->end(localName(name));
    });
}

void XMLCALL onText(void *data, const XML_Char *s, int len)
{
    guarded(data, [&](ParseContext &c) { c.handler->text(std::string_view(s, size_t(len))); });
}

struct ParserFree {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
struct ZipFileClose {
    void operator()(zip_file_t *f) const { zip_fclose(f); }
};


} // namespace

const char *xmlAttribute(const char **attributes, std::string_view local)
{
    for (int i = 0; attributes && attributes[i]; i += 2) {
        if (localName(attributes[i]) == local)
            return attributes[i + 1];
    }
    return nullptr;
}

ZipArchive::ZipArchive(const QString &path)
    : m_path(path)
{
    int error = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!m_zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        const QString why = QString::fromUtf8(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        throw AppError(QStringLiteral("无法读取文件 %1：不是完整的工作簿（%2）").arg(QDir::toNativeSeparators(path), why));
    }
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

std::string ZipArchive::find(std::string_view name) const
{
    const std::string n(name);
    zip_int64_t index = zip_name_locate(m_zip, n.c_str(), 0);
    if (index < 0)
        index = zip_name_locate(m_zip, n.c_str(), ZIP_FL_NOCASE);
    if (index < 0)
        return {};
    const char *stored = zip_get_name(m_zip, zip_uint64_t(index), 0);
    return stored ? std::string(stored) : std::string();
}

QByteArray ZipArchive::read(const std::string &name, qint64 limit) const
{
    std::unique_ptr<zip_file_t, ZipFileClose> f(zip_fopen(m_zip, name.c_str(), 0));
    if (!f)
        throw AppError(damaged(m_path, name, QString::fromUtf8(zip_strerror(m_zip))));
    QByteArray all;
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(f.get(), buffer, sizeof buffer);
        if (n < 0)
            throw AppError(damaged(m_path, name, QString::fromUtf8(zip_file_strerror(f.get()))));
        if (n == 0)
            break;
        all.append(buffer, qsizetype(n));
        if (all.size() > limit)
            throw AppError(damaged(m_path, name, QStringLiteral("内容过大")));
    }
    return all;
}

void ZipArchive::parse(const std::string &name, XmlHandler &handler) const
{
    std::unique_ptr<zip_file_t, ZipFileClose> f(zip_fopen(m_zip, name.c_str(), 0));
    if (!f)
        throw AppError(damaged(m_path, name, QString::fromUtf8(zip_strerror(m_zip))));
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreateNS(nullptr, NsSeparator));
    if (!parser)
        throw std::bad_alloc();
    ParseContext context{&handler, parser.get(), m_path, name, 0, nullptr};
    XML_SetUserData(parser.get(), &context);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    // Big sheets are read in pieces: the whole part is never held in memory.
    constexpr int Chunk = 256 * 1024;
    for (;;) {
        void *buffer = XML_GetBuffer(parser.get(), Chunk);
        if (!buffer)
            throw std::bad_alloc();
        const zip_int64_t n = zip_fread(f.get(), buffer, Chunk);
        if (n < 0)
            throw AppError(damaged(m_path, name, QString::fromUtf8(zip_file_strerror(f.get()))));
        if (XML_ParseBuffer(parser.get(), int(n), n == 0) != XML_STATUS_OK) {
            if (context.failure)
                std::rethrow_exception(context.failure);
            const QString why = QStringLiteral("第 %1 行，%2")
                                    .arg(XML_GetCurrentLineNumber(parser.get()))
                                    .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser.get()))));
            throw AppError(damaged(m_path, name, why));
        }
        if (n == 0)
            break;
    }
}
