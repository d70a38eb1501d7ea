#ifndef QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H
#define QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H

// Helpers for the unit tests, which link the product code: its strings as std::string for
// comparisons, a launcher run to serve, and small packed launchers. Used by tests
// only.

#include <string>
#include <vector>

#include "base/SString.h"
#include "input/LauncherContext.h"
#include "input/LauncherWriter.h"
#include "instructions/ScriptVariables.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "tests/support/TestSupport.h"

namespace qvtest {

inline std::string str(const SString& text) {
    return std::string(text.data(), text.length());
}

// The launcher run that a test's scripts and jvm files serve: plain values the test sets, and
// the embedded files of inputFiles when it points to loaded input files.
class TestLauncherContext : public LauncherContext {
public:
    SString launcherFile() const override { return m_launcherFile; }
    SString originalLauncherFile() const override { return m_originalLauncherFile; }
    SString userJavaHome() const override { return m_userJavaHome; }
    const FileIndexEntry* embeddedFileAt(long index) const override {
        return m_inputFiles == nullptr ? nullptr : m_inputFiles->getFileAt(index);
    }
    SString applicationArchive() const override { return m_applicationArchive; }
    SString applicationArchive(const SString& /*name*/) const override {
        return m_applicationArchive;
    }

    // Both launcher names.
    void setLauncher(const std::string& path) {
        m_launcherFile = path.c_str();
        m_originalLauncherFile = path.c_str();
    }

    SString m_launcherFile;
    SString m_originalLauncherFile;
    SString m_userJavaHome;
    SString m_applicationArchive;
    const LauncherInputFiles* m_inputFiles = nullptr;
};

// A file for packTestLauncher: written as <dir>/<name> with content, then embedded with type
// and id.
struct EmbeddedTestFile {
    long type;
    std::string name;
    std::string content;
    long id = -1;
};

// Writes the stub <dir>/stub and the files under dir, then the launcher launcherPath: the stub
// with the files appended by the launcher builder.
inline void packTestLauncher(const std::string& dir, const std::string& launcherPath,
                             const std::vector<EmbeddedTestFile>& files,
                             const std::string& stub = "#!/bin/sh\nexit 0\n") {
    writeFile(dir + "/stub", stub, 0755);
    LauncherWriter writer((dir + "/stub").c_str());
    for (const EmbeddedTestFile& file : files) {
        writeFile(dir + "/" + file.name, file.content);
        writer.addFile(file.type, (dir + "/" + file.name).c_str(), file.id);
    }
    writer.write(launcherPath.c_str());
}

}  // namespace qvtest

#endif  // QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H
