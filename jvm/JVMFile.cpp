#include "jvm/JVMFile.h"

#include "input/TagFile.h"
#include "launchscript/TemplateValue.h"

JVMFile::JVMFile(TagFile& tags, const LauncherContext& context)
    : m_tags(tags), m_context(context) {}

SString JVMFile::getTagValue(const char* tag) const {
    return m_tags.getTagValue(tag, 0);
}

SString JVMFile::resolve(const SString& text) const {
    return TemplateValue::open(resolveSealed(text));
}

SString JVMFile::resolveSealed(const SString& text) const {
    return MacroHandler::resolve(text, '@');
}

void JVMFile::processMacro(SString& text, char /*delimiter*/, unsigned start, unsigned& end) const {
    SString name(text, start + 1, end - start - 1);
    SString value = getTagValue(name.c_str());
    // Homes written on other systems may end in a backslash; the home is joined to paths later.
    if (name.compare(g_jvmHomeTag) == 0 && !value.empty() &&
        value.c_str()[value.length() - 1] == '\\') {
        value.erase(value.length() - 1);
    }
    // The home and the written file's path are places on this machine, not template text.
    if (name.compare(g_jvmHomeTag) == 0 || name.compare(g_jvmFileTag) == 0) {
        value = TemplateValue::sealPath(value);
    }
    text.replace(start, end - start + 1, value);
}
