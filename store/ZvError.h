#pragma once

#include <QString>
#include <stdexcept>

namespace zv {

// Every failure the program reports travels as one of these; the entry-point wrapper
// (zv::Guarded) shows it in the program-wide error box.
class EZvError : public std::runtime_error
{
public:
    explicit EZvError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString& message() const noexcept { return m_message; }

private:
    QString m_message;
};

// A failure the user already knows about (he cancelled it): the wrapper stays silent.
class ESilentAbort : public EZvError
{
public:
    explicit ESilentAbort(const QString& message = QStringLiteral("Operation aborted")) : EZvError(message) {}
};

} // namespace zv
