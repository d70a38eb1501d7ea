#ifndef QV_INPUT_LAUNCHERINPUTFILES_H
#define QV_INPUT_LAUNCHERINPUTFILES_H

#include <cstdio>

#include "base/SString.h"
#include "input/FileIndexEntry.h"

// The launcher file's index of embedded files, with the embedded tag files read in place.
// The driver holds one for the whole run; it owns every entry and, through them, every
// embedded tag file.
//
// The script objects built from tag files (instruction script, launch script, jvm files) are
// not built here yet: they join this class with the instruction interpreter, the launch script
// and the JVM search.
class LauncherInputFiles {
public:
    LauncherInputFiles();
    LauncherInputFiles(const LauncherInputFiles&) = delete;
    LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;
    ~LauncherInputFiles();

    // Reads the running launcher's file (Launcher::getLauncherFileName). Does nothing once
    // loaded, so a first call without tag files keeps a later one from reading them.
    void load(bool loadTagFiles);
    // Reads the trailer and the file index of launcherFileName and, with loadTagFiles, the
    // embedded tag files. A file whose last 4 bytes are not the identification value loads as
    // a launcher without embedded files. Throws LauncherException when the file cannot be
    // opened or its index or an embedded tag file cannot be read; the object then holds no
    // entries and stays unloaded.
    void loadLauncherFile(const SString& launcherFileName, bool loadTagFiles);
    // Seeks to indexOffset, reads the file count and the entries and appends them. Throws
    // LauncherException for an offset outside the file, a count that cannot fit before the
    // trailer and any entry that cannot be read; the entries read before it stay.
    void loadFileIndex(FILE* file, long indexOffset);
    // Reads every embedded tag file (types 0 to 2) in index order; errors name the embedded
    // file and propagate.
    void loadTagFiles(FILE* launcherFile);

    bool isIndexLoaded() const { return m_loaded; }
    long getFileCount() const { return m_fileIndex.size(); }
    // The entry at index in index order, or null when out of range.
    const FileIndexEntry* getFileAt(long index) const;
    // The first entry in index order with that file id, or null.
    const FileIndexEntry* getFile(long id) const;

    // Writes every embedded file into the working directory and an "input.tag" that runs the
    // same instructions from the copies (ACTION, JVM, LAUNCHSCRIPT, INSTRUCTIONS). Throws
    // LauncherException from the first file that cannot be written.
    void extractAll() const;

    // No instruction script object exists until the interpreter joins this class.
    bool hasInstructions() const { return false; }

private:
    void logEntries() const;

    FileIndexEntryPtrDeque m_fileIndex;
    bool m_loaded;
};

#endif  // QV_INPUT_LAUNCHERINPUTFILES_H
