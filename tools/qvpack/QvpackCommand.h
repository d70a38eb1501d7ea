#ifndef QV_TOOLS_QVPACK_QVPACKCOMMAND_H
#define QV_TOOLS_QVPACK_QVPACKCOMMAND_H

#include <ostream>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/SString.h"

// A command line that qvpack cannot make sense of; main answers it with a hint at --help.
class QvpackUsageError : public LauncherException {
public:
    explicit QvpackUsageError(const SString& message) : LauncherException(message) {}
};

// What one qvpack command line asks for.
struct QvpackRequest {
    enum Mode { MODE_HELP, MODE_PACK, MODE_LIST };
    struct File {
        long type;
        long id;  // -1: assigned when packing
        SString path;
    };
    // --main-jar and the options that belong to it; mainJar is empty without it.
    struct Application {
        SString mainJar;
        SString mainClass;  // empty: the manifest's Main-Class
        std::vector<SString> libs;
        SString javaRange;  // empty: from the class file of the main class
        std::vector<SString> javaOptions;
        SString name;  // empty: the output's base name without its extension
        bool searchDisk = false;
        SString configDir;  // --write-config; empty: none
    };

    Mode mode = MODE_HELP;
    SString outputPath;
    SString stubPath;  // empty: the stub beside qvpack or installed (defaultStubPath)
    SString listPath;
    std::vector<File> files;
    bool noVerify = false;
    Application application;
};

// Reads the arguments after the program name. Throws QvpackUsageError for an unknown option,
// a missing or empty value, a bad id, an --id that no file option follows, a pack without -o,
// an option of --main-jar given without it, a file option other than --verify (or --id) given
// with it, --verify together with --no-verify, a --java that is not a version range, or a
// --name that is not a plain file name.
QvpackRequest parseQvpackArguments(const std::vector<std::string>& args);

// Packs or lists as requested, writing listings and help to out and each warning about the
// launcher packed to warnings as a line "qvpack: warning: ...". A pack embeds the verify
// archive unless the request has --verify or --no-verify, checks the COMMAND and ARCHIVE of
// every launch script, marks the stub's copy as packed and, with --main-jar, generates the
// tag files and embeds the jars (see the guide, section 3). Throws LauncherException when a
// file is missing or invalid; nothing is written to the output file then.
void runQvpack(const QvpackRequest& request, std::ostream& out, std::ostream& warnings);

// The directory of the running executable, without a final "/".
SString qvpackDirectory();
// The regular file name beside qvpack (<qvpackDir>/<name>) or else installed
// (<qvpackDir>/../lib/qvlauncher/<name>, the parent written out); empty when neither exists.
SString findBesideOrInstalled(const SString& qvpackDir, const char* name);
// The stub qvpack starts from by default, found as findBesideOrInstalled does. Throws
// LauncherException naming both places and --stub when there is none.
SString defaultStubPath(const SString& qvpackDir);
SString defaultStubPath();
// The verify archive (verify.jar) embedded by default, found the same way. Throws
// LauncherException naming both places, --verify and --no-verify when there is none.
SString defaultVerifyArchive(const SString& qvpackDir);

// "Invalid launch script <name>: <TAG> has <problem>" for the first of COMMAND and ARCHIVE
// whose template has a problem (LaunchScript::findTemplateProblem); empty when neither has.
SString launchScriptProblem(const SString& name, const SString& command, const SString& archive);

// The default --name: the base name of outputPath without its extension ("dist/my-tool.bin"
// gives "my-tool"); the whole base name when nothing is left before the extension.
SString defaultLauncherName(const SString& outputPath);

extern const char kQvpackUsage[];

#endif  // QV_TOOLS_QVPACK_QVPACKCOMMAND_H
