#include "launchscript/EnvironmentExpander.h"

#include "platform/unix/PlatformImpl.h"

void EnvironmentExpander::processMacro(SString& text, char /*delimiter*/, unsigned start,
                                       unsigned& end) const {
    SString name(text, start + 1, end - start - 1);
    text.replace(start, end - start + 1, PlatformImpl::getEnvironmentVariable(name));
}
