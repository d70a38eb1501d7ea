#ifndef QV_LAUNCHSCRIPT_JVMTAGS_H
#define QV_LAUNCHSCRIPT_JVMTAGS_H

#include "base/SString.h"

// The jvm file a command template is expanded against, as the template sees it: its tags
// (input/JVMFileTags.h) and its @TAG@ expansion. A jvm file is the one implementation; the
// launch script borrows it for one expansion.
class JVMTags {
public:
    JVMTags() = default;
    JVMTags(const JVMTags&) = delete;
    JVMTags& operator=(const JVMTags&) = delete;
    virtual ~JVMTags() = default;

    // The first value of tag, or empty when the tag is absent.
    virtual SString getTagValue(const char* tag) const = 0;
    // Expands every @TAG@ macro of text with the first value of that tag. Throws
    // LauncherException when the expansion does not end.
    virtual SString resolve(const SString& text) const = 0;
    // The same for a text that goes on into a command template: the JVM's home and the jvm
    // file's own path are inserted sealed (TemplateValue), so that later passes and the shell
    // take them as data.
    virtual SString resolveSealed(const SString& text) const = 0;
};

#endif  // QV_LAUNCHSCRIPT_JVMTAGS_H
