#ifndef QV_INPUT_LAUNCHERCONTEXT_H
#define QV_INPUT_LAUNCHERCONTEXT_H

#include "base/SString.h"

class FileIndexEntry;

// What the objects built from tag files (launch scripts, jvm files and their search) learn of
// the launcher run they serve: its files, the user's choice of Java home and the embedded
// files. The driver passes its own to every object it builds, so that no lower layer reads the
// driver's state; detached() stands for "no launcher" (a tool or a test that expands a script
// on its own).
class LauncherContext {
public:
    LauncherContext() = default;
    LauncherContext(const LauncherContext&) = delete;
    LauncherContext& operator=(const LauncherContext&) = delete;
    virtual ~LauncherContext() = default;

    // The launcher file being run: after -qv:orig, the temporary copy.
    virtual SString launcherFile() const = 0;
    // The file the user started; the runtime files (.cp, .sp, .ja) lie beside it.
    virtual SString originalLauncherFile() const = 0;
    // The Java home the user named (-qv:javahome), tried before every other place; empty for
    // none.
    virtual SString userJavaHome() const = 0;
    // The embedded file at index in index order, or null past the end.
    virtual const FileIndexEntry* embeddedFileAt(long index) const = 0;
    // The embedded application archive, extracted on first use; with a name, a temporary copy
    // of that file beside the original launcher. Extraction errors are LauncherExceptions.
    virtual SString applicationArchive() const = 0;
    virtual SString applicationArchive(const SString& name) const = 0;

    // The directory part of originalLauncherFile(), without the separator; empty when the
    // name has none.
    SString originalLauncherDir() const;
    // The directory that holds launcherFile(): "/" for a launcher in the root directory, empty
    // when the name has no directory.
    SString launcherDir() const;

    // No launcher: no files, no embedded files, no Java home; the application archive is
    // empty. Lives for the whole run.
    static const LauncherContext& detached();
};

#endif  // QV_INPUT_LAUNCHERCONTEXT_H
