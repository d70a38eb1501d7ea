// The class path, system property and JVM argument pieces of a launch command: from the jvm
// file, from the runtime files beside the original launcher, from %CP%'s arguments, from the
// application archive and from the class-path archives embedded in the launcher.
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "base/StdioFile.h"
#include "base/TextUtil.h"
#include "input/ApplicationCache.h"
#include "input/FileIndexEntry.h"
#include "input/JVMFileTags.h"
#include "input/LauncherLayout.h"
#include "launchscript/JVMTags.h"
#include "launchscript/LaunchScript.h"
#include "launchscript/TemplateValue.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// The original launcher's name with its extension replaced by suffix ("/opt/app/run.bin" and
// ".cp" give "/opt/app/run.cp"). A name without any "/" or "\" keeps its extension.
SString runtimeFilePath(const SString& originalLauncher, const char* suffix) {
    SString path = originalLauncher;
    SString::size_type separator = path.find_last_of("/\\");
    if (separator != SString::npos) {
        SString::size_type dot = path.rfind('.');
        if (dot != SString::npos && dot > separator) {
            path.erase(dot);
        }
    }
    path += suffix;
    return path;
}

// Calls visit with each non-empty trimmed line of the runtime file with suffix, in order. A
// missing or unreadable file, or one that is not a regular file (a FIFO would block, a device
// would never end), has none. The lines are not collected first: a class-path file may hold
// thousands.
template <typename Visit>
void forEachRuntimeLine(const SString& originalLauncher, const char* suffix, Visit visit) {
    StdioFile file(runtimeFilePath(originalLauncher, suffix).c_str(), "re");
    struct stat info;
    if (file.get() == nullptr || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    while (!std::feof(file.get()) && !std::ferror(file.get())) {
        SString line;
        readLineFromStream(file.get(), line);
        if (!line.empty()) {
            visit(line);
        }
    }
}

void appendWithBlank(SString& joined, const SString& item) {
    if (item.empty()) {
        return;
    }
    if (!joined.empty()) {
        joined += ' ';
    }
    joined += item;
}

}  // namespace

SString LaunchScript::classpathFunction(const SString& text, const StringDeque& arguments) const {
    const JVMTags& jvmFile = currentJVMFile(text);
    if (m_expandingArchive) {
        throwException(text, "CP function cannot be used inside the ARCHIVE value.");
    }
    const bool useEnvironment = jvmFile.getTagValue(g_useCpEnvVarTag).compare("1") == 0;
    SString classpath = collectClasspath(jvmFile, arguments, useEnvironment);
    m_lastClasspath = useEnvironment ? classpath : TemplateValue::open(classpath);
    if (useEnvironment) {
        passClasspathInEnvironment(jvmFile, classpath);
        return SString();
    }
    if (classpath.empty()) {
        return classpath;
    }
    SString option = jvmFile.getTagValue(g_classpathTag);
    option += classpath;
    return option;
}

SString LaunchScript::collectClasspath(const JVMTags& jvmFile, const StringDeque& arguments,
                                       bool useEnvironment) const {
    SString classpath = buildRuntimeClasspath(&jvmFile, ".cp1");
    addToClasspath(&jvmFile, classpath, buildJVMClasspath());
    addToClasspath(&jvmFile, classpath, buildRuntimeClasspath(&jvmFile, ".cp"));
    // An environment variable takes the entries bare; a command line needed their quotes.
    for (long i = 0; i < arguments.size(); ++i) {
        SString entry = arguments.at(i);
        if (useEnvironment) {
            stripQuotes(entry);
        }
        addToClasspath(&jvmFile, classpath, entry);
    }
    SString archive = expandArchive();
    if (useEnvironment) {
        stripQuotes(archive);
    }
    addToClasspath(&jvmFile, classpath, archive);
    addToClasspath(&jvmFile, classpath, buildJARClasspath());
    addToClasspath(&jvmFile, classpath, buildRuntimeClasspath(&jvmFile, ".cp2"));
    return classpath;
}

SString LaunchScript::expandArchive() const {
    struct ArchiveGuard {
        bool& flag;
        explicit ArchiveGuard(bool& f) : flag(f) { flag = true; }
        ~ArchiveGuard() { flag = false; }
    } guard(m_expandingArchive);
    return MacroHandler::resolve(m_archive, '%');
}

void LaunchScript::passClasspathInEnvironment(const JVMTags& jvmFile,
                                              const SString& classpath) const {
    const SString variable = jvmFile.getTagValue(g_cpEnvVarTag);
    if (variable.empty()) {
        Log::logMessage(
            "If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file should also define "
            "CP_ENV_VAR.",
            LOG_ERROR);
        return;
    }
    // The variable is the child's: the launcher's own environment stays as the user set it.
    const SString value = TemplateValue::open(classpath);
    SString setting(variable);
    setting += '=';
    m_childVariables.push_back(setting += value);
    Log::logMessage(concat("Set env var ", variable, " to ", value, "\n"), LOG_INFO);
}

SString LaunchScript::makeSystemProp(const JVMTags* jvmFile, const SString& name,
                                     const SString& value) const {
    SString property = jvmFile->getTagValue(g_systemTag);
    property += name;
    property += jvmFile->getTagValue(g_systemSeparatorTag);
    property += jvmFile->resolveSealed(value);
    return property;
}

SString LaunchScript::buildRuntimeClasspath(const JVMTags* jvmFile, const char* suffix) const {
    SString classpath;
    if (!m_useRuntimeClasspath) {
        return classpath;
    }
    forEachRuntimeLine(m_context.originalLauncherFile(), suffix,
                       [&](const SString& entry) { addToClasspath(jvmFile, classpath, entry); });
    return classpath;
}

SString LaunchScript::buildJVMClasspath() const {
    return m_currentJVMFile == nullptr ? SString()
                                       : m_currentJVMFile->getTagValue(g_jvmClasspathTag);
}

SString LaunchScript::buildRuntimeSystemProps(const JVMTags* jvmFile) const {
    SString properties;
    forEachRuntimeLine(m_context.originalLauncherFile(), ".sp", [&](const SString& line) {
        SString::size_type equals = line.find('=');
        if (equals != SString::npos) {
            appendWithBlank(properties, makeSystemProp(jvmFile, line.substr(0, equals),
                                                       line.substr(equals + 1)));
        }
    });
    return properties;
}

SString LaunchScript::buildRuntimeJavaArgs(const JVMTags* jvmFile) const {
    SString javaArgs;
    forEachRuntimeLine(m_context.originalLauncherFile(), ".ja", [&](const SString& line) {
        appendWithBlank(javaArgs, jvmFile->resolveSealed(line));
    });
    return javaArgs;
}

void LaunchScript::addToClasspath(const JVMTags* jvmFile, SString& classpath,
                                  const SString& entry) const {
    if (entry.empty()) {
        return;
    }
    if (!classpath.empty()) {
        classpath += jvmFile->getTagValue(g_classpathSeparatorTag);
    }
    classpath += entry;
}

SString LaunchScript::buildJARClasspath() const {
    SString classpath;
    if (!m_addEmbeddedArchives) {
        return classpath;
    }
    const std::vector<std::string> cached = cachedArchives();
    for (const std::string& path : cached) {
        addToClasspath(m_currentJVMFile, classpath,
                       TemplateValue::sealPath(SString(path.c_str(), path.size())));
    }
    if (!cached.empty()) {
        return classpath;
    }
    // The run's directory is made for the first archive: most launchers carry none, and an
    // empty directory would only cost its making and its removal.
    for (long i = 0; const FileIndexEntry* entry = m_context.embeddedFileAt(i); ++i) {
        if (entry->getType() == FILE_TYPE_CLASSPATH) {
            addToClasspath(m_currentJVMFile, classpath,
                           TemplateValue::sealPath(entry->extractForRun()));
        }
    }
    return classpath;
}

std::vector<std::string> LaunchScript::cachedArchives() const {
    std::vector<std::string> paths;
    if (!m_useApplicationCache || !m_addEmbeddedArchives || !ApplicationCache::isEnabled()) {
        return paths;
    }
    for (long i = 0; const FileIndexEntry* entry = m_context.embeddedFileAt(i); ++i) {
        if (entry->getType() != FILE_TYPE_CLASSPATH) {
            continue;
        }
        const SString path = ApplicationCache::cachedPath(*entry);
        if (path.empty()) {
            return std::vector<std::string>();
        }
        paths.emplace_back(path.c_str(), path.length());
    }
    return paths;
}

SString LaunchScript::classCacheFunction(const SString& text, const StringDeque& arguments) const {
    requireArguments(text, arguments, 0, "CLASS_CACHE function takes no arguments.");
    const SString home = currentJVMFile(text).getTagValue(g_jvmHomeTag);
    if (m_classDataWithdrawn) {
        return SString();
    }
    const std::vector<std::string> words =
        m_classData.options(std::string(home.c_str(), home.length()), cachedArchives());
    SString options;
    for (const std::string& word : words) {
        appendWithBlank(options, TemplateValue::sealPath(SString(word.c_str(), word.size())));
    }
    return options;
}
