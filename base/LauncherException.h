#ifndef QV_BASE_LAUNCHEREXCEPTION_H
#define QV_BASE_LAUNCHEREXCEPTION_H

#include "base/SString.h"

// The launcher's one error type: a message, thrown by value and caught by reference. Code that
// adds context throws a new exception whose message is its prefix followed by m_message.
class LauncherException {
public:
    explicit LauncherException(const SString& message) : m_message(message) {}
    LauncherException(const LauncherException& other) = default;
    virtual ~LauncherException() = default;

    SString m_message;
};

#endif  // QV_BASE_LAUNCHEREXCEPTION_H
