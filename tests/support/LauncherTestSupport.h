#ifndef QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H
#define QV_TESTS_SUPPORT_LAUNCHERTESTSUPPORT_H

// Helpers for the unit tests, which link the product code: its strings as std::string for
// comparisons, a clean slate of launcher variables, and small packed launchers. Used by tests
// only.

#include <string>
#include <vector>

#include "base/SString.h"
#include "input/LauncherWriter.h"
#include "launcher/Launcher.h"
#include "tests/support/TestSupport.h"

namespace qvtest {

inline std::string str(const SString& text) {
    return std::string(text.data(), text.length());
}

// Empties every string variable and zeroes every numeric one, as a fresh launcher has them.
inline void resetLauncherVariables() {
    for (long n = 1; n <= Launcher::kStringVariables; ++n) {
        Launcher::setStringVariable(n, SString());
    }
    for (long n = 1; n <= Launcher::kNumericVariables; ++n) {
        Launcher::setLongVariable(n, 0);
    }
}

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
