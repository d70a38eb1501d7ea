#include "tools/qvpack/ApplicationPlan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "platform/unix/SystemError.h"
#include "tools/qvpack/JarFile.h"

namespace {

const char kManifestEntry[] = "META-INF/MANIFEST.MF";
// Far above any real manifest; a bound, so that a hostile jar cannot fill the memory.
const long kMaxManifestBytes = 1L << 20;
// Magic, minor and major version.
const long kClassHeaderBytes = 8;

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

ManifestAttributes readManifest(const JarFile& jar) {
    SString text;
    if (!jar.readEntry(kManifestEntry, kMaxManifestBytes, text)) {
        return ManifestAttributes();
    }
    return parseManifest(text, jar.path());
}

SString chooseMainClass(const QvpackRequest::Application& application,
                        const ManifestAttributes& manifest) {
    const bool given = !application.mainClass.empty();
    SString name = given ? application.mainClass : manifest.mainClass;
    if (name.empty()) {
        throw LauncherException(concat(application.mainJar,
                                       " names no main class (no Main-Class in ", kManifestEntry,
                                       "); give --main-class NAME"));
    }
    if (!isClassName(name)) {
        throw LauncherException(concat(
            "\"", name, "\" is not a class name (",
            given ? SString("--main-class") : concat("Main-Class of ", application.mainJar), ")"));
    }
    return name;
}

// The range given, or the one of the main class's class-file version.
SString chooseJavaRange(const QvpackRequest::Application& application, const JarFile& jar,
                        const SString& mainClass) {
    if (!application.javaRange.empty()) {
        return application.javaRange;
    }
    SString entry;
    for (SString::size_type i = 0; i < mainClass.length(); ++i) {
        entry += mainClass[i] == '.' ? '/' : mainClass[i];
    }
    entry += ".class";
    SString header;
    if (!jar.readEntryStart(entry, kClassHeaderBytes, header)) {
        throw LauncherException(concat("The main class ", mainClass, " is not in ", jar.path(),
                                       " (no ", entry, "); give --java RANGE to pack it anyway"));
    }
    return javaRangeForMajorVersion(
        classFileMajorVersion(header, concat(entry, " in ", jar.path())));
}

SString directoryOf(const SString& path) {
    const SString::size_type slash = path.rfind('/');
    if (slash == SString::npos) {
        return ".";
    }
    return slash == 0 ? SString("/") : path.substr(0, slash);
}

bool exists(const SString& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const SString& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The Class-Path entries (separated by blanks, relative to the jar's directory) as paths.
std::vector<SString> classPathJars(const SString& classPath, const SString& jarPath) {
    std::vector<SString> jars;
    const SString base = directoryOf(jarPath);
    for (SString::size_type at = classPath.find_first_not_of(' '); at != SString::npos;) {
        const SString::size_type end = classPath.find(' ', at);
        const SString entry = classPath.substr(at, end == SString::npos ? end : end - at);
        const SString path = entry[0] == '/' ? entry : concat(base, "/", entry);
        if (!exists(path)) {
            throw LauncherException(concat("The Class-Path entry ", entry, " of ", jarPath,
                                           " does not exist (", path, ")"));
        }
        jars.push_back(path);
        at = end == SString::npos ? end : classPath.find_first_not_of(' ', end);
    }
    return jars;
}

// Adds path unless the file it names was added before.
void addOnce(std::vector<SString>& jars, std::set<std::string>& seen, const SString& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    // A path that does not resolve is added as it is; packing then says what is wrong with it.
    const std::string key = resolved == nullptr ? std::string(path.c_str()) : resolved;
    std::free(resolved);
    if (seen.insert(key).second) {
        jars.push_back(path);
    }
}

}  // namespace

ApplicationPlan planApplication(const QvpackRequest::Application& application,
                                const SString& outputPath) {
    const JarFile jar(application.mainJar);
    const ManifestAttributes manifest = readManifest(jar);
    ApplicationPlan plan;
    plan.launcher.name =
        application.name.empty() ? defaultLauncherName(outputPath) : application.name;
    // The name becomes a tag value and part of file names: a line break would add tags.
    if (!isPlainFileName(plan.launcher.name)) {
        throw LauncherException(concat("The launcher name \"", plan.launcher.name, "\" (from ",
                                       outputPath, ") is not a plain file name; give --name NAME"));
    }
    plan.launcher.mainClass = chooseMainClass(application, manifest);
    plan.launcher.javaRange = chooseJavaRange(application, jar, plan.launcher.mainClass);
    plan.launcher.javaOptions = application.javaOptions;
    plan.launcher.searchDisk = application.searchDisk;

    std::set<std::string> seen;
    addOnce(plan.jars, seen, application.mainJar);
    for (const SString& path : classPathJars(manifest.classPath, application.mainJar)) {
        addOnce(plan.jars, seen, path);
    }
    for (const SString& lib : application.libs) {
        if (!isDirectory(lib)) {
            addOnce(plan.jars, seen, lib);
            continue;
        }
        for (const SString& path : jarsInDirectory(lib)) {
            addOnce(plan.jars, seen, path);
        }
    }
    return plan;
}

std::vector<SString> jarsInDirectory(const SString& directory) {
    std::unique_ptr<DIR, DirectoryCloser> listing(::opendir(directory.c_str()));
    if (listing == nullptr) {
        throw LauncherException(describeSystemError(concat("Cannot read ", directory), errno));
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        const bool jarName =
            name.size() > 4 && name[0] != '.' && name.compare(name.size() - 4, 4, ".jar") == 0;
        struct stat info;
        if (jarName && ::stat((std::string(directory.c_str()) + "/" + name).c_str(), &info) == 0 &&
            S_ISREG(info.st_mode)) {
            names.push_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        throw LauncherException(describeSystemError(concat("Cannot read ", directory), errno));
    }
    // std::string compares by unsigned byte, as a sorted listing does.
    std::sort(names.begin(), names.end());
    const bool endsInSlash = directory.length() > 0 && directory[directory.length() - 1] == '/';
    std::vector<SString> jars(names.size());
    std::transform(names.begin(), names.end(), jars.begin(), [&](const std::string& name) {
        return concat(directory, endsInSlash ? "" : "/", name.c_str());
    });
    return jars;
}
