#ifndef QV_INPUT_LAUNCHERINPUTFILES_H
#define QV_INPUT_LAUNCHERINPUTFILES_H

// The launcher file's index of embedded files and the script objects built from tag files.
// This build does not read an index yet: it treats the launcher as one without embedded files.
class LauncherInputFiles {
public:
    LauncherInputFiles() = default;
    LauncherInputFiles(const LauncherInputFiles&) = delete;
    LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;

    // Loads the file index (and, with loadScripts, the embedded script objects). Throws
    // LauncherException on failure.
    void load(bool loadScripts);
    bool isIndexLoaded() const { return m_indexLoaded; }
    // Writes every embedded file and an input file naming them into the working directory.
    void extractAll();
    bool hasInstructions() const { return false; }

private:
    bool m_indexLoaded = false;
};

#endif  // QV_INPUT_LAUNCHERINPUTFILES_H
