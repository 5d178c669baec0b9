#pragma once
#include "db/DbError.h"
#include "widgets/Seams.h"

#include <exception>
#include <utility>

class QWidget;

// The text with a full stop at its end unless it already ends in one.
QString withFullStop(const QString &text);

// The default error handler: a failure ends the handler where it stands and is shown in
// the error box; nothing crosses into Qt's event loop. Returns false when it failed.
template <class F>
bool guard(QWidget *parent, F &&handler)
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const AppError &e) {
        showError(parent, withFullStop(e.message()), e.detail());
    } catch (const std::bad_alloc &) {
        showError(parent, QStringLiteral("内存不足。"));
    } catch (const std::exception &e) {
        showError(parent, withFullStop(QString::fromLocal8Bit(e.what())));
    }
    return false;
}
