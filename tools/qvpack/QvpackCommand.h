#ifndef QV_TOOLS_QVPACK_QVPACKCOMMAND_H
#define QV_TOOLS_QVPACK_QVPACKCOMMAND_H

#include <ostream>
#include <string>
#include <vector>

#include "base/SString.h"
#include "base/LauncherException.h"

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

    Mode mode = MODE_HELP;
    SString outputPath;
    SString stubPath;  // empty: the qvlauncher beside qvpack
    SString listPath;
    std::vector<File> files;
};

// Reads the arguments after the program name. Throws QvpackUsageError for an unknown option,
// a missing value, a bad id, an --id that no file option follows, or a pack without -o.
QvpackRequest parseQvpackArguments(const std::vector<std::string>& args);

// Packs or lists as requested, writing listings and help to out. Throws LauncherException
// when a file is missing or invalid; nothing is written to the output file then.
void runQvpack(const QvpackRequest& request, std::ostream& out);

// The qvlauncher in the directory of the running executable.
SString defaultStubPath();

extern const char kQvpackUsage[];

#endif  // QV_TOOLS_QVPACK_QVPACKCOMMAND_H
