#include "launchscript/EnvironmentExpander.h"

#include "launchscript/TemplateValue.h"
#include "platform/unix/PlatformImpl.h"

SString EnvironmentExpander::expand(const SString& text) const {
    return TemplateValue::open(resolve(text, '#'));
}

void EnvironmentExpander::processMacro(SString& text, char /*delimiter*/, unsigned start,
                                       unsigned& end) const {
    SString name(text, start + 1, end - start - 1);
    // Sealed, so that a value holding "#" is not read as another reference.
    text.replace(start, end - start + 1,
                 TemplateValue::sealPath(PlatformImpl::getEnvironmentVariable(name)));
}
