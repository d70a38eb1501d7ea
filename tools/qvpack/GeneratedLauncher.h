#ifndef QV_TOOLS_QVPACK_GENERATEDLAUNCHER_H
#define QV_TOOLS_QVPACK_GENERATEDLAUNCHER_H

#include <vector>

#include "base/SString.h"

// The tag files qvpack writes for an application packed from its jar (--main-jar): an
// instruction script that finds a JVM and launches quietly, a jvm file for the Java versions
// wanted, and a launch script whose command runs the main class.
struct GeneratedLauncher {
    SString name;       // the title; the base of the file names and of <NAME>_OPTS
    SString mainClass;  // a class name (see isClassName)
    SString javaRange;  // a version range on java.specification.version
    std::vector<SString> javaOptions;
    bool searchDisk = false;
};

// The instruction script: QUIET, then find a JVM and launch with it, or stop when none.
SString generatedInstructions();

// The jvm file: JAVA_HOME, the java on PATH, then the usual Linux JDK homes (those named after
// a Java version use arch, Debian's name for the machine, and are left out when it is null),
// the range as the one JVM_PROPERTIES value, SEARCH_ALL: 1 with searchDisk, and the class path
// and system property syntax of java.
SString generatedJvmFile(const GeneratedLauncher& launcher, const char* arch);

// The launch script. Its COMMAND runs java with the runtime files' properties and arguments,
// the java options, the words of JAVA_OPTS and of <NAME>_OPTS, the class path and the main
// class. The java options and the main class are data: each is written as it stands when it
// consists of letters, digits and "_-.,:+=/" only, and sealed otherwise (TemplateValue), so
// that neither the launcher nor the shell reads anything in it.
SString generatedLaunchScript(const GeneratedLauncher& launcher);

// The COMMAND of generatedLaunchScript.
SString generatedCommand(const GeneratedLauncher& launcher);

// "Java <n> or later" for a range [<n>,) (a 1.<n> bound spelled <n>), else "Java <range>".
SString describeJavaRange(const SString& range);

// The variable of the user's options for a launcher called name: name upper-cased, each byte
// other than A-Z and 0-9 turned into "_", then "_OPTS" ("my-tool" gives MY_TOOL_OPTS).
SString optionsVariableName(const SString& name);

// True for a Java class name as a manifest or the command line gives it: not empty, no blank,
// control byte, "/", ";" or "[", and no empty part between dots.
bool isClassName(const SString& name);

// Debian's name for the architecture this program was built for (amd64, arm64, ...), which is
// that of the stub built beside it; null when it has none here.
const char* debianArchitecture();

#endif  // QV_TOOLS_QVPACK_GENERATEDLAUNCHER_H
