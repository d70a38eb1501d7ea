#include "platform/unix/SystemError.h"

#include <cstring>

#include "base/LauncherException.h"

SString systemErrorText(int err) {
    return SString(std::strerror(err));
}

void throwSystemError(const char* context, int err) {
    SString message(context);
    message += systemErrorText(err);
    throw LauncherException(message);
}
