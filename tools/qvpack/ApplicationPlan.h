#ifndef QV_TOOLS_QVPACK_APPLICATIONPLAN_H
#define QV_TOOLS_QVPACK_APPLICATIONPLAN_H

#include <vector>

#include "base/SString.h"
#include "tools/qvpack/GeneratedLauncher.h"
#include "tools/qvpack/QvpackCommand.h"

// What packing an application from its jar (--main-jar) embeds, worked out before anything
// is written.
struct ApplicationPlan {
    GeneratedLauncher launcher;
    // The class-path archives in order: the main jar, the manifest's Class-Path entries, the
    // --lib jars; a file named twice (after following links) is taken the first time only.
    std::vector<SString> jars;
};

// Reads the main jar (its manifest, the class file of its main class) and the --lib
// directories. The name defaults to defaultLauncherName(outputPath), the range to the one
// of the main class's class-file version. Throws LauncherException for a jar that cannot be
// read, no main class, one that is not a class name, one missing from the jar without
// --java, a Class-Path entry that does not exist, and a --lib directory that cannot be read.
ApplicationPlan planApplication(const QvpackRequest::Application& application,
                                const SString& outputPath);

// The regular files (links followed) of directory whose names end in ".jar" and do not start
// with ".", as <directory>/<name>, in the byte order of their names. Throws LauncherException
// when the directory cannot be read.
std::vector<SString> jarsInDirectory(const SString& directory);

#endif  // QV_TOOLS_QVPACK_APPLICATIONPLAN_H
