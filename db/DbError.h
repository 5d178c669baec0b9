#pragma once
#include <QString>
#include <stdexcept>

// The one error type of the program's logic. Engine refusals carry the statement too,
// so the error box can show it as detail for whoever supports the office.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &message, const QString &detail = {})
        : std::runtime_error(message.toStdString()), m_message(message), m_detail(detail) {}
    const QString &message() const { return m_message; }
    const QString &detail() const { return m_detail; }

private:
    QString m_message;
    QString m_detail;
};

// The detail shown for support is the statement, unless the message is the operator's
// reading of the engine's words: then those words, and the statement stays out of sight.
class DbError : public AppError {
public:
    DbError(const QString &message, const QString &statement, int code = 0, const QString &detail = QString())
        : AppError(message, detail.isNull() ? statement : detail), m_statement(statement), m_code(code) {}
    const QString &statement() const { return m_statement; }
    int code() const { return m_code; }

private:
    QString m_statement;
    int m_code;
};
