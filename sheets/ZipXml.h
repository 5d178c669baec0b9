#pragma once
#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

struct zip;

// What a streaming XML read reports: elements by their local name (the namespace and
// its prefix dropped, since writers choose prefixes freely) and character data in pieces.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // attributes: name, value, name, value, ..., nullptr; names are "namespace\1local".
    virtual void start(std::string_view name, const char **attributes) = 0;
    virtual void end(std::string_view name) = 0;
    virtual void text(std::string_view piece) { (void)piece; }
};

// The value of the attribute with this local name, or nullptr.
const char *xmlAttribute(const char **attributes, std::string_view localName);

// A zip container (.xlsx, .ods) opened for reading parts by name.
class ZipArchive {
public:
    // Throws AppError naming the file when it is no readable zip container.
    explicit ZipArchive(const QString &path);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // The stored name of a part, matched exactly or else without regard to letter case;
    // empty when absent.
    std::string find(std::string_view name) const;
    // A small part whole (at most limit bytes; more is a damaged file).
    QByteArray read(const std::string &name, qint64 limit = 16 << 20) const;
    // Streams a part through an XML parser; a damaged part throws AppError.
    void parse(const std::string &name, XmlHandler &handler) const;

private:
    QString m_path;
    zip *m_zip = nullptr;
};
