#include "tools/qvpack/QvpackCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "input/LauncherWriter.h"
#include "input/TagFile.h"
#include "jvm/VersionRange.h"
#include "launcher/LauncherInputFiles.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/SystemError.h"
#include "tools/qvpack/ApplicationPlan.h"
#include "tools/qvpack/GeneratedLauncher.h"

const char kQvpackUsage[] =
    "Usage:\n"
    "  qvpack -o OUT --main-jar APP.jar [--main-class NAME] [--lib PATH]... [--java RANGE]\n"
    "         [--java-option OPTION]... [--name NAME] [--search-disk] [--write-config DIR]\n"
    "  qvpack -o OUT [FILE OPTIONS...]\n"
    "  qvpack list FILE\n"
    "  qvpack --help\n"
    "\n"
    "Builds a launcher: the stub executable followed by the embedded files and their index.\n"
    "The output is made executable. Nothing is written when a file is missing or invalid.\n"
    "\n"
    "Packing an application from its jar:\n"
    "  --main-jar APP.jar     the application's jar; the Main-Class and Class-Path of its\n"
    "                         manifest give the main class and further jars\n"
    "  --main-class NAME      the main class (default: the manifest's Main-Class)\n"
    "  --lib PATH             a jar, or a directory whose *.jar files count in name order\n"
    "  --java RANGE           the java.specification.version range that may run it, such as\n"
    "                         [11,) (default: the lowest Java that runs the main class)\n"
    "  --java-option OPTION   one argument for java, passed as it is (repeatable)\n"
    "  --name NAME            the title, and NAME_OPTS the variable of the user's java\n"
    "                         options (default: OUT's base name without its extension)\n"
    "  --search-disk          walk the whole disk when no JVM is found in the usual places\n"
    "  --write-config DIR     also write the generated tag files into DIR\n"
    "Jars are embedded in this order: APP.jar, the Class-Path entries, the --lib jars.\n"
    "\n"
    "Options of every pack:\n"
    "  -o OUT                 the launcher file to write (replaced when it exists)\n"
    "  --stub STUB            the launcher executable to start from (default: the qvlauncher\n"
    "                         beside qvpack, else ../lib/qvlauncher/qvlauncher from there)\n"
    "  --verify F             verify class archive (type 5; default: verify.jar, looked for\n"
    "                         as the stub is)\n"
    "  --no-verify            embed no verify archive\n"
    "\n"
    "File options (each may be repeated; the embedded name is the file's base name):\n"
    "  --instructions F       instruction script (type 0, tag file)\n"
    "  --jvm F                jvm file (type 1, tag file)\n"
    "  --launch-script F      launch script (type 2, tag file)\n"
    "  --classpath F          classpath archive (type 3)\n"
    "  --installer F          JVM installer (type 4, made executable on extraction)\n"
    "  --app F                application archive (type 6)\n"
    "  --launcher F           embedded launcher (type 7, made executable on extraction)\n"
    "  --id N                 the id of the next file (0 to 2147483647); files without\n"
    "                         one get 1, 2, 3... in order, skipping the ids given\n"
    "\n"
    "Tag files must parse, and launch-script templates must call known functions with\n"
    "closed argument lists; names must be plain and distinct; the launcher must stay below\n"
    "2 GiB.\n"
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

// The options that only --main-jar gives a meaning to.
const char* const kApplicationOptions[] = {"--main-class",  "--lib",  "--java",
                                           "--java-option", "--name", "--search-disk",
                                           "--write-config"};

[[noreturn]] void usageError(const std::string& message) {
    throw QvpackUsageError(SString(message.c_str()));
}

const FileOption* findFileOption(const std::string& arg) {
    const FileOption* found =
        std::find_if(std::begin(kFileOptions), std::end(kFileOptions),
                     [&arg](const FileOption& option) { return arg == option.spelling; });
    return found == std::end(kFileOptions) ? nullptr : found;
}

bool isApplicationOption(const std::string& arg) {
    return std::find(std::begin(kApplicationOptions), std::end(kApplicationOptions), arg) !=
           std::end(kApplicationOptions);
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

void addValue(std::vector<SString>& values, const std::string& value, const std::string& option) {
    if (value.empty()) {
        usageError("option " + option + " needs a non-empty value");
    }
    values.push_back(value.c_str());
}

// Reads one option of --main-jar at args[i]; false when args[i] is none of them.
bool parseApplicationOption(const std::vector<std::string>& args, size_t& i,
                            QvpackRequest::Application& application) {
    const std::string& arg = args[i];
    if (arg == "--main-jar") {
        setOnce(application.mainJar, valueOf(args, i), arg);
    } else if (arg == "--main-class") {
        setOnce(application.mainClass, valueOf(args, i), arg);
    } else if (arg == "--lib") {
        addValue(application.libs, valueOf(args, i), arg);
    } else if (arg == "--java") {
        setOnce(application.javaRange, valueOf(args, i), arg);
    } else if (arg == "--java-option") {
        addValue(application.javaOptions, valueOf(args, i), arg);
    } else if (arg == "--name") {
        setOnce(application.name, valueOf(args, i), arg);
    } else if (arg == "--write-config") {
        setOnce(application.configDir, valueOf(args, i), arg);
    } else if (arg == "--search-disk") {
        application.searchDisk = true;
    } else {
        return false;
    }
    return true;
}

// The combinations that make no sense, and the values that can be checked before packing.
void checkApplication(const std::vector<std::string>& args, const QvpackRequest& request) {
    const QvpackRequest::Application& application = request.application;
    if (application.mainJar.empty()) {
        auto found = std::find_if(args.begin(), args.end(), isApplicationOption);
        if (found != args.end()) {
            usageError("option " + *found + " needs --main-jar");
        }
        return;
    }
    for (const std::string& arg : args) {
        const FileOption* option = findFileOption(arg);
        if ((option != nullptr && option->type != FILE_TYPE_VERIFY) || arg == "--id") {
            usageError("option " + arg +
                       " cannot be used with --main-jar, which makes the tag files itself "
                       "(--write-config shows them)");
        }
    }
    VersionRange range;
    const SString& java = application.javaRange;
    const bool controlByte = std::any_of(java.c_str(), java.c_str() + java.length(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20;
    });
    if (!java.empty() && (controlByte || !range.parse(java))) {
        usageError(std::string("--java needs a version range such as [11,) or [1.8,17], not \"") +
                   application.javaRange.c_str() + "\"");
    }
    if (!application.name.empty() && !isPlainFileName(application.name)) {
        usageError(std::string("--name needs a plain file name (no /, line break or NUL), not \"") +
                   application.name.c_str() + "\"");
    }
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

bool isRegularFile(const SString& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// <qvpackDir>/../lib/qvlauncher with the parent written out.
SString installedDirectory(const SString& qvpackDir) {
    const SString::size_type slash = qvpackDir.rfind('/');
    const SString prefix = slash == SString::npos ? SString("..") : qvpackDir.substr(0, slash);
    return concat(prefix, "/lib/qvlauncher");
}

[[noreturn]] void notFound(const SString& qvpackDir, const char* what, const char* name,
                           const char* hint) {
    throw LauncherException(concat("No ", what, " beside qvpack (", qvpackDir, "/", name,
                                   ") or installed (", installedDirectory(qvpackDir), "/", name,
                                   "); ", hint));
}

// The files embedded so far, by type, for the warnings about what a launcher lacks.
class PackedTypes {
public:
    void add(long type) { m_types.push_back(type); }
    bool has(long type) const {
        return std::find(m_types.begin(), m_types.end(), type) != m_types.end();
    }

private:
    std::vector<long> m_types;
};

void warnAboutMissingFiles(const PackedTypes& types, std::ostream& warnings) {
    if (!types.has(FILE_TYPE_JVM)) {
        return;
    }
    const char* const prefix = "qvpack: warning: the launcher has jvm files but no ";
    if (!types.has(FILE_TYPE_INSTRUCTIONS)) {
        warnings << prefix << "instruction script (--instructions): it runs nothing\n";
    }
    if (!types.has(FILE_TYPE_LAUNCH_SCRIPT)) {
        warnings << prefix << "launch script (--launch-script): it cannot launch\n";
    }
    if (!types.has(FILE_TYPE_VERIFY)) {
        warnings << prefix << "verify archive (--verify): no JVM can be verified\n";
    }
}

// The template check of a launch script given by path. A file that does not load is left to
// the packing, which says why.
void checkLaunchScriptFile(const SString& path) {
    SString problem;
    try {
        TagFile script(path);
        problem = launchScriptProblem(path, script.getTagValue(g_commandTag, 0),
                                      script.getTagValue(g_archiveTag, 0));
    } catch (const LauncherException&) {
        return;
    }
    if (!problem.empty()) {
        throw LauncherException(problem);
    }
}

// The files of the command line, and the verify archive unless one is among them or
// --no-verify.
void addRequestedFiles(const QvpackRequest& request, LauncherWriter& writer, PackedTypes& types) {
    for (const QvpackRequest::File& file : request.files) {
        if (file.type == FILE_TYPE_LAUNCH_SCRIPT) {
            checkLaunchScriptFile(file.path);
        }
        writer.addFile(file.type, file.path, file.id);
        types.add(file.type);
    }
    if (!types.has(FILE_TYPE_VERIFY) && !request.noVerify) {
        writer.addFile(FILE_TYPE_VERIFY, defaultVerifyArchive(qvpackDirectory()));
        types.add(FILE_TYPE_VERIFY);
    }
}

struct GeneratedFile {
    long type;
    SString name;
    SString bytes;
};

std::vector<GeneratedFile> generateFiles(const GeneratedLauncher& launcher) {
    const SString problem = launchScriptProblem("(generated)", generatedCommand(launcher), "");
    if (!problem.empty()) {
        throw LauncherException(problem);
    }
    return {
        {FILE_TYPE_INSTRUCTIONS, concat(launcher.name, ".instructions"), generatedInstructions()},
        {FILE_TYPE_JVM, concat(launcher.name, ".jvm"),
         generatedJvmFile(launcher, debianArchitecture())},
        {FILE_TYPE_LAUNCH_SCRIPT, concat(launcher.name, ".launch"),
         generatedLaunchScript(launcher)}};
}

// Writes bytes as <directory>/<name>, never through a link at that name.
void writeConfigFile(const SString& directory, const GeneratedFile& file) {
    const SString path = concat(directory, "/", file.name);
    BinaryFile output;
    TagFile::openForWriting(path, output);
    if (!output.truncate() ||
        !output.writeAll(file.bytes.data(), static_cast<long>(file.bytes.length())) ||
        !output.close()) {
        throw LauncherException(describeSystemError(concat("Cannot write ", path), errno));
    }
}

void writeConfig(const SString& directory, const std::vector<GeneratedFile>& files) {
    if (::mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
        throw LauncherException(describeSystemError(concat("Cannot create ", directory), errno));
    }
    for (const GeneratedFile& file : files) {
        writeConfigFile(directory, file);
    }
}

void pack(const QvpackRequest& request, std::ostream& warnings) {
    LauncherWriter writer(request.stubPath.empty() ? defaultStubPath() : request.stubPath);
    writer.markStubAsPacked();
    PackedTypes types;
    std::vector<GeneratedFile> generated;
    std::vector<SString> jars;
    if (!request.application.mainJar.empty()) {
        ApplicationPlan plan = planApplication(request.application, request.outputPath);
        generated = generateFiles(plan.launcher);
        jars = plan.jars;
        for (const GeneratedFile& file : generated) {
            writer.addContent(file.type, file.name, file.bytes);
            types.add(file.type);
        }
    }
    addRequestedFiles(request, writer, types);
    for (const SString& jar : jars) {
        writer.addFile(FILE_TYPE_CLASSPATH, jar);
    }
    writer.write(request.outputPath);
    warnAboutMissingFiles(types, warnings);
    if (!request.application.configDir.empty()) {
        writeConfig(request.application.configDir, generated);
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
        } else if (arg == "--no-verify") {
            request.noVerify = true;
        } else if (parseApplicationOption(args, i, request.application)) {
            continue;
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
    if (request.noVerify && std::find(args.begin(), args.end(), "--verify") != args.end()) {
        usageError("options --verify and --no-verify exclude each other");
    }
    checkApplication(args, request);
    return request;
}

void runQvpack(const QvpackRequest& request, std::ostream& out, std::ostream& warnings) {
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
        case QvpackRequest::MODE_PACK:
            pack(request, warnings);
            return;
    }
}

SString qvpackDirectory() {
    std::vector<char> path(4096);
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        throw LauncherException(describeSystemError(
            "Cannot find qvpack's own directory for the default stub and verify archive (give "
            "--stub and --verify)",
            errno));
    }
    SString directory(path.data(), static_cast<SString::size_type>(length));
    directory.erase(directory.rfind('/'));
    return directory;
}

SString findBesideOrInstalled(const SString& qvpackDir, const char* name) {
    SString beside = concat(qvpackDir, "/", name);
    if (isRegularFile(beside)) {
        return beside;
    }
    const SString installed = concat(installedDirectory(qvpackDir), "/", name);
    return isRegularFile(installed) ? installed : SString();
}

SString defaultStubPath(const SString& qvpackDir) {
    SString stub = findBesideOrInstalled(qvpackDir, "qvlauncher");
    if (stub.empty()) {
        notFound(qvpackDir, "qvlauncher stub", "qvlauncher", "give --stub STUB");
    }
    return stub;
}

SString defaultStubPath() {
    return defaultStubPath(qvpackDirectory());
}

SString defaultVerifyArchive(const SString& qvpackDir) {
    SString archive = findBesideOrInstalled(qvpackDir, "verify.jar");
    if (archive.empty()) {
        notFound(qvpackDir, "verify archive", "verify.jar",
                 "give --verify F, or --no-verify to pack none");
    }
    return archive;
}

SString launchScriptProblem(const SString& name, const SString& command, const SString& archive) {
    const struct {
        const char* tag;
        const SString& text;
    } templates[] = {{g_commandTag, command}, {g_archiveTag, archive}};
    for (const auto& entry : templates) {
        const SString problem = LaunchScript::findTemplateProblem(entry.text);
        if (!problem.empty()) {
            return concat("Invalid launch script ", name, ": ", entry.tag, " has ", problem);
        }
    }
    return SString();
}

SString defaultLauncherName(const SString& outputPath) {
    const SString::size_type slash = outputPath.rfind('/');
    SString name = slash == SString::npos ? outputPath : outputPath.substr(slash + 1);
    const SString::size_type dot = name.rfind('.');
    if (dot != SString::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}
