#include "tools/qvpack/QvpackCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "input/LauncherLayout.h"
#include "input/LauncherWriter.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/SystemError.h"

const char kQvpackUsage[] =
    "Usage:\n"
    "  qvpack -o OUT [--stub STUB] [FILE OPTIONS...]\n"
    "  qvpack list FILE\n"
    "  qvpack --help\n"
    "\n"
    "Builds a launcher: the stub executable followed by the embedded files, in the order\n"
    "given, and their index. The output is made executable. Nothing is written when a file\n"
    "is missing or invalid.\n"
    "\n"
    "Options:\n"
    "  -o OUT                 the launcher file to write (replaced when it exists)\n"
    "  --stub STUB            the launcher executable to start from\n"
    "                         (default: the qvlauncher in qvpack's own directory)\n"
    "  --id N                 the id of the next file (0 to 2147483647); files without\n"
    "                         one get 1, 2, 3... in order, skipping the ids given\n"
    "\n"
    "File options (each may be repeated; the embedded name is the file's base name):\n"
    "  --instructions F       instruction script (type 0, tag file)\n"
    "  --jvm F                jvm file (type 1, tag file)\n"
    "  --launch-script F      launch script (type 2, tag file)\n"
    "  --classpath F          classpath archive (type 3)\n"
    "  --installer F          JVM installer (type 4, made executable on extraction)\n"
    "  --verify F             verify class archive (type 5)\n"
    "  --app F                application archive (type 6)\n"
    "  --launcher F           embedded launcher (type 7, made executable on extraction)\n"
    "\n"
    "Tag files must parse and end with a line feed; names must be plain and distinct; the\n"
    "launcher must stay below 2 GiB.\n"
    "\n"
    "qvpack list FILE prints one row per embedded file: position, type, id, length, offset\n"
    "and name.\n";

namespace {

struct FileOption {
    const char* spelling;
    long type;
};

const FileOption kFileOptions[] = {
    {"--instructions", FILE_TYPE_INSTRUCTIONS},
    {"--jvm", FILE_TYPE_JVM},
    {"--launch-script", FILE_TYPE_LAUNCH_SCRIPT},
    {"--classpath", FILE_TYPE_CLASSPATH},
    {"--installer", FILE_TYPE_JVM_INSTALLER},
    {"--verify", FILE_TYPE_VERIFY},
    {"--app", FILE_TYPE_APPLICATION},
    {"--launcher", FILE_TYPE_LAUNCHER},
};

[[noreturn]] void usageError(const std::string& message) {
    throw QvpackUsageError(SString(message.c_str()));
}

const FileOption* findFileOption(const std::string& arg) {
    const FileOption* found =
        std::find_if(std::begin(kFileOptions), std::end(kFileOptions),
                     [&arg](const FileOption& option) { return arg == option.spelling; });
    return found == std::end(kFileOptions) ? nullptr : found;
}

const std::string& valueOf(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) {
        usageError("option " + args[i] + " needs a value");
    }
    return args[++i];
}

long parseId(const std::string& text) {
    bool digits = !text.empty() && text.size() <= 10 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    long id = digits ? std::strtol(text.c_str(), nullptr, 10) : -1;
    if (id < 0 || id > 0x7FFFFFFFL) {
        usageError("--id needs a number from 0 to 2147483647, not \"" + text + "\"");
    }
    return id;
}

void setOnce(SString& target, const std::string& value, const std::string& option) {
    if (!target.empty()) {
        usageError("option " + option + " is given twice");
    }
    if (value.empty()) {
        usageError("option " + option + " needs a non-empty value");
    }
    target = value.c_str();
}

QvpackRequest parseList(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        usageError("list takes exactly one launcher file");
    }
    QvpackRequest request;
    request.mode = QvpackRequest::MODE_LIST;
    request.listPath = args[1].c_str();
    return request;
}

void printListing(const LauncherInputFiles& files, std::ostream& out) {
    // Every field has a bounded width (a type name, numbers of at most 20 digits): the rows
    // fit, and the name of any length is written after them.
    char row[160];
    // NOLINTNEXTLINE(cert-err33-c): the row fits, see above.
    std::snprintf(row, sizeof row, "%-4s %-14s %10s %10s %10s  %s\n", "POS", "TYPE", "ID", "LENGTH",
                  "OFFSET", "NAME");
    out << row;
    for (long i = 0; i < files.getFileCount(); ++i) {
        const FileIndexEntry& entry = *files.getFileAt(i);
        // NOLINTNEXTLINE(cert-err33-c): the row fits, see above.
        std::snprintf(row, sizeof row, "%-4ld %-14s %10ld %10ld %10ld  ", i,
                      fileTypeName(entry.getType()), entry.getId(), entry.getLength(),
                      entry.getOffset());
        out << row << entry.getName().c_str() << "\n";
    }
    if (files.getFileCount() == 0) {
        out << "(no embedded files)\n";
    }
}

}  // namespace

QvpackRequest parseQvpackArguments(const std::vector<std::string>& args) {
    if (args.empty()) {
        usageError("no command given");
    }
    if (std::any_of(args.begin(), args.end(),
                    [](const std::string& arg) { return arg == "--help" || arg == "-h"; })) {
        return QvpackRequest();
    }
    if (args[0] == "list") {
        return parseList(args);
    }
    QvpackRequest request;
    request.mode = QvpackRequest::MODE_PACK;
    long pendingId = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const FileOption* option = findFileOption(arg)) {
            request.files.push_back({option->type, pendingId, SString(valueOf(args, i).c_str())});
            pendingId = -1;
        } else if (arg == "--id") {
            if (pendingId >= 0) {
                usageError("--id " + std::to_string(pendingId) +
                           " is not followed by a file option");
            }
            pendingId = parseId(valueOf(args, i));
        } else if (arg == "-o") {
            setOnce(request.outputPath, valueOf(args, i), arg);
        } else if (arg == "--stub") {
            setOnce(request.stubPath, valueOf(args, i), arg);
        } else if (!arg.empty() && arg[0] == '-') {
            usageError("unknown option " + arg);
        } else {
            usageError("unexpected argument " + arg + " (files are given with a file option)");
        }
    }
    if (pendingId >= 0) {
        usageError("--id " + std::to_string(pendingId) + " is not followed by a file option");
    }
    if (request.outputPath.empty()) {
        usageError("no output file given (-o OUT)");
    }
    return request;
}

void runQvpack(const QvpackRequest& request, std::ostream& out) {
    switch (request.mode) {
        case QvpackRequest::MODE_HELP:
            out << kQvpackUsage;
            return;
        case QvpackRequest::MODE_LIST: {
            LauncherInputFiles files;
            // The index alone: building the script objects would also print the console title.
            files.loadLauncherFile(request.listPath, false);
            printListing(files, out);
            return;
        }
        case QvpackRequest::MODE_PACK: {
            LauncherWriter writer(request.stubPath.empty() ? defaultStubPath() : request.stubPath);
            for (const QvpackRequest::File& file : request.files) {
                writer.addFile(file.type, file.path, file.id);
            }
            writer.write(request.outputPath);
            return;
        }
    }
}

SString defaultStubPath() {
    std::vector<char> path(4096);
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        throw LauncherException(describeSystemError(
            "Cannot find qvpack's own directory for the default stub (give --stub)", errno));
    }
    SString stub(path.data(), static_cast<SString::size_type>(length));
    stub.erase(stub.rfind('/') + 1);
    stub += "qvlauncher";
    return stub;
}
