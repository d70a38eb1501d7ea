#include "platform/unix/SystemError.h"

#include <cstring>

#include "base/LauncherException.h"

const char* systemErrorText(int err) {
    return std::strerror(err);
}

SString describeSystemError(const SString& context, int err) {
    SString text(context);
    text += ": ";
    text += err == 0 ? "unexpected end of file" : systemErrorText(err);
    return text;
}

void throwSystemError(const char* context, int err) {
    SString message(context);
    message += systemErrorText(err);
    throw LauncherException(message);
}
