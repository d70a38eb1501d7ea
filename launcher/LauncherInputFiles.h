#ifndef QV_LAUNCHER_LAUNCHERINPUTFILES_H
#define QV_LAUNCHER_LAUNCHERINPUTFILES_H

#include <cstdio>
#include <memory>

#include "base/SString.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherContext.h"
#include "input/LauncherFile.h"
#include "input/TagFile.h"
#include "jvm/JVMFiles.h"

class Instructions;
class LaunchScript;

// The launcher file's index of embedded files, with the embedded tag files read in place, and
// the objects built from tag files: one instruction script, one launch script and the set of
// jvm files. The driver holds one for the whole run.
//
// Ownership: the launcher file's descriptor is held here from the first open to the end, and
// every read of the trailer, the index and the embedded files goes through it; the entries
// refer to it. Every entry owns its embedded tag file; the tag files read from disk are owned
// here; every script object refers to the tag file it was built from, which lives as long as
// this object. The objects named by an input file come first: embedded ones only fill what
// it left empty (and embedded jvm files join only when it named none).
class LauncherInputFiles {
public:
    // context is the launcher run the built objects serve; it must outlive this object. The
    // launcher file to read when none was opened is its launcherFile().
    explicit LauncherInputFiles(
        const LauncherContext& context = LauncherContext::detached()) noexcept;
    LauncherInputFiles(const LauncherInputFiles&) = delete;
    LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;
    ~LauncherInputFiles();

    // Opens the launcher file for the run (see LauncherFile::open) before anything is read, so
    // that every later read sees the file that was opened; load(bool) then reads it. Returns
    // false when it cannot be opened: loading then fails with "Cannot open launcher file.".
    bool openLauncherFile(const SString& openPath, const SString& name);
    // The launcher file, open or not.
    const LauncherFile& getLauncherFile() const { return m_launcherFile; }

    // Reads the running launcher's file: the one openLauncherFile opened, else the file named
    // by the context's launcherFile(), opened now and kept. Does nothing once
    // loaded, so a first call without tag files keeps a later one from reading them. With
    // loadTagFiles, also builds the objects the input file has not supplied from the embedded
    // tag files: the first instruction script (whose QUIET sets the console quiet), then, in
    // index order, the first launch script (whose DESC becomes the console title) and, unless
    // jvm files were already chosen, every jvm file; afterwards the jvm files count as chosen. A
    // launch script that cannot be built fails with "Error loading launch script." followed by the
    // cause; the index and the objects built before stay.
    void load(bool loadTagFiles);
    // Opens launcherFileName, keeps its descriptor for the life of this object and reads its
    // trailer and file index and, with loadTagFiles, the embedded tag files. A file whose last
    // 4 bytes are not the identification value loads as a launcher without embedded files.
    // Throws LauncherException when the file cannot be opened or its index or an embedded tag
    // file cannot be read; the object then holds no entries and stays unloaded. Does nothing
    // once loaded.
    void loadLauncherFile(const SString& launcherFileName, bool loadTagFiles);
    // Seeks to indexOffset, reads the file count and the entries and appends them; the entries
    // take their bytes from this object's launcher file. Throws
    // LauncherException for an offset outside the file, a count that cannot fit before the
    // trailer and any entry that cannot be read; the entries read before it stay.
    void loadFileIndex(FILE* file, long indexOffset);
    // Reads every embedded tag file (types 0 to 2) in index order; errors name the embedded
    // file and propagate. Builds no objects, so a tool can read a launcher without touching
    // the console.
    void loadTagFiles(FILE* launcherFile);

    // Builds the objects an input file names, in this order: INSTRUCTIONS (its QUIET sets the
    // console quiet), LAUNCHSCRIPT (its DESC becomes the console title), VERIFY_CLASSPATH with
    // VERIFY_CLASS_NAME, UI_TITLE, and every JVM value. Any JVM value, even an empty one, keeps the
    // embedded jvm files out. Throws LauncherException "Error loading instructions file." (or "...
    // launch script.",
    // "... JVM file.") followed by the cause; the objects built before the failure stay.
    void load(const TagFile& input);
    // Reads the tag file at path, keeps it for the life of this object and returns it. Throws
    // LauncherException "Unable to load input file: <path>" or the file's syntax error.
    TagFile& loadTagFile(const SString& path);

    bool isIndexLoaded() const { return m_loaded; }
    // True once a load found the launcher file's trailer and read its file index: the file
    // carries embedded files (possibly none).
    bool hasFileIndex() const { return m_hasFileIndex; }
    long getFileCount() const { return m_fileIndex.size(); }
    // The entry at index in index order, or null when out of range.
    const FileIndexEntry* getFileAt(long index) const;
    // The first entry in index order with that file id, or null.
    const FileIndexEntry* getFile(long id) const;
    FileIndexEntry* getFile(long id);

    // Writes every embedded file into the working directory and an "input.tag" that runs the
    // same instructions from the copies (ACTION, JVM, LAUNCHSCRIPT, INSTRUCTIONS). Throws
    // LauncherException from the first file that cannot be written; a symbolic link at
    // "input.tag" fails it before any file is written.
    void extractAll() const;

    bool hasInstructions() const { return m_instructions != nullptr; }
    // The instruction script, or null when neither the input file nor the launcher has one.
    const Instructions* getInstructions() const { return m_instructions.get(); }
    // The launch script, or null when there is none.
    LaunchScript* getLaunchScript() const { return m_launchScript.get(); }
    // The jvm files of the run with the JVM search over them.
    JVMFiles& getJVMFiles() { return m_jvmFiles; }
    const JVMFiles& getJVMFiles() const { return m_jvmFiles; }

private:
    // Reads the trailer, the index and, with loadTagFiles, the embedded tag files of the open
    // launcher file; see loadLauncherFile.
    void readLauncherFile(bool loadTagFiles);
    void logEntries() const;
    void loadInstructions(const SString& path);
    // Makes tags the run's instruction script and sets the console quiet as it asks.
    void setInstructions(const TagFile& tags);
    void loadLaunchScript(const SString& path);
    void loadJVMFile(const SString& path);
    void buildEmbeddedObjects();
    void buildLaunchScript(const TagFile& tags);

    // Declared so that destruction runs in the order the objects depend on each other: the
    // instruction script, the launch script, the jvm files, then the tag files they refer to,
    // then the entries and last the launcher file they read from.
    const LauncherContext& m_context;
    LauncherFile m_launcherFile;
    FileIndexEntryPtrDeque m_fileIndex;
    TagFilePtrDeque m_tagFiles;
    JVMFiles m_jvmFiles;
    std::unique_ptr<LaunchScript> m_launchScript;
    std::unique_ptr<Instructions> m_instructions;
    bool m_jvmFilesChosen;
    bool m_loaded;
    bool m_hasFileIndex;
};

#endif  // QV_LAUNCHER_LAUNCHERINPUTFILES_H
