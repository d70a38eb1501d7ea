#include "launchscript/ClassDataCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/LauncherException.h"
#include "base/Sha256.h"
#include "base/ShellQuote.h"
#include "base/TextUtil.h"
#include "input/ApplicationCache.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/UserCache.h"

namespace {

const size_t kMaxReleaseBytes = size_t{64} * 1024;
// The JVM's class-sharing log of one run: a few dozen lines.
const size_t kMaxLogBytes = size_t{1024} * 1024;
// The JVM's own output of one run: its options, properties and messages.
const size_t kMaxVmOutputBytes = size_t{4} * 1024 * 1024;
// The AOT cache's assembly is one JVM run over the recorded classes; a few seconds for most
// applications, but it is bounded.
const long kAssemblyTimeLimitMs = 300000;

struct JvmKind {
    bool hotSpot = false;
    int feature = 0;  // the Java feature release: 8, 17, 25...
};

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool readText(const std::string& path, size_t maxBytes, std::string& text) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!fd.isOpen() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > maxBytes) {
        return false;
    }
    text.assign(static_cast<size_t>(info.st_size), '\0');
    ssize_t got = read(fd.get(), &text[0], text.size());
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return got >= 0;
}

// The feature release of JAVA_VERSION="..." in a JVM's release file: "17.0.15" gives 17,
// "1.8.0_402" gives 8; 0 when the line is missing or unreadable.
int featureRelease(const std::string& release) {
    const std::string marker = "JAVA_VERSION=\"";
    size_t at = release.find(marker);
    if (at == std::string::npos || (at > 0 && release[at - 1] != '\n')) {
        return 0;
    }
    const char* version = release.c_str() + at + marker.size();
    char* end = nullptr;
    long feature = std::strtol(version, &end, 10);
    if (feature == 1 && *end == '.') {
        feature = std::strtol(end + 1, &end, 10);
    }
    return feature > 0 && feature < 1000 ? static_cast<int>(feature) : 0;
}

JvmKind inspect(const std::string& home, std::string& identity) {
    JvmKind kind;
    std::string release;
    if (!readText(home + "/release", kMaxReleaseBytes, release)) {
        return kind;
    }
    std::string library;
    std::string libraryIdentity;
    const bool hasLibjvm =
        UserCache::resolvedIdentity(home + "/lib/server/libjvm.so", library, libraryIdentity) ||
        UserCache::resolvedIdentity(home + "/lib/client/libjvm.so", library, libraryIdentity);
    std::string lowered = release;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    kind.hotSpot = hasLibjvm && lowered.find("openj9") == std::string::npos &&
                   !exists(home + "/lib/j9vm") && !exists(home + "/lib/default");
    kind.feature = featureRelease(release);
    std::string releasePath;
    std::string releaseIdentity;
    UserCache::resolvedIdentity(home + "/release", releasePath, releaseIdentity);
    identity = library + "=" + libraryIdentity + "\n" + UserCache::runtimeImageIdentity(home) +
               "\n" + releasePath + "=" + releaseIdentity + "\n";
    return kind;
}

// True when every byte of path may stand in a JVM option without quoting or splitting it.
bool isPlainPath(const std::string& path) {
    return std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr("/._+-", c) != nullptr;
    });
}

bool isUsableArchive(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && UserCache::isSafeOwnFile(info) && info.st_size > 0;
}

// True when the log of the last run that used an archive says that the JVM did not map it: a
// warning or an error, or a reason given for not sharing (which the JVM logs as information
// only, then runs without any class sharing).
bool wasRefused(const std::string& log) {
    std::string text;
    if (!UserCache::readOwnFile(log, kMaxLogBytes, text)) {
        return false;
    }
    return text.find("UseSharedSpaces:") != std::string::npos ||
           text.find("][warning") != std::string::npos || text.find("][error") != std::string::npos;
}

// Creates an empty marker file; its presence is what counts.
void touchMarker(const std::string& path) {
    FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
}

// Gives file the name archive unless another launcher got there first; file is gone after.
void moveIntoPlace(const std::string& file, const std::string& archive) {
    if (isUsableArchive(file)) {
        link(file.c_str(), archive.c_str());
    }
    unlink(file.c_str());
    PlatformImpl::removeFileFromCleanupList(SString(file.c_str()));
}

// The text the JVM wrote to its terminal output, from the <tty> section of the log that
// LogVMOutput writes: the lines between the elements, with the XML escapes undone.
std::string terminalText(const std::string& log) {
    const size_t start = log.find("\n<tty>\n");
    const size_t end = log.find("\n</tty>", start == std::string::npos ? 0 : start);
    if (start == std::string::npos || end == std::string::npos) {
        return std::string();
    }
    // Text inside an element (statistics the JVM writes only to this log) is not terminal
    // output: only the lines outside every element are.
    std::string text;
    int depth = 0;
    size_t line = start + 7;
    while (line < end) {
        size_t next = log.find('\n', line);
        next = next == std::string::npos || next > end ? end : next;
        if (log[line] != '<') {
            if (depth == 0) {
                text.append(log, line, next - line);
                text += '\n';
            }
        } else if (log.compare(line, 2, "</") == 0) {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (log.compare(next - 2, 2, "/>") != 0) {
            ++depth;
        }
        line = next + 1;
    }
    const char* const escapes[][2] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&apos;", "'"}, {"&quot;", "\""}, {"&amp;", "&"}};
    for (const auto& escape : escapes) {
        for (size_t at = text.find(escape[0]); at != std::string::npos;
             at = text.find(escape[0], at + 1)) {
            text.replace(at, std::strlen(escape[0]), escape[1]);
        }
    }
    return text;
}

// The assembly's output goes nowhere: it only reports progress.
class DiscardedOutput : public CapturedOutput {
public:
    void take(bool, const char*, size_t) override {}
};

}  // namespace

void ClassDataCache::passOnVmOutput(const std::string& configuration) {
    std::string log;
    const bool read = UserCache::readOwnFile(m_vmOutput, kMaxVmOutputBytes, log);
    unlink(m_vmOutput.c_str());
    PlatformImpl::removeFileFromCleanupList(SString(m_vmOutput.c_str()));
    if (!read) {
        return;
    }
    std::string text = terminalText(log);
    const std::string announcement = " AOTConfiguration recorded: " + configuration + "\n";
    const size_t at = text.find(announcement);
    if (at != std::string::npos) {
        text.erase(at, announcement.size());
    }
    UserCache::writeAll(STDERR_FILENO, text.data(), text.size());
}

bool ClassDataCache::conflictsWith(const std::string& command) const {
    if (m_words.empty()) {
        return false;
    }
    std::string ours;
    for (const std::string& word : m_words) {
        ours += word + "\n";
    }
    std::string theirs = command;
    for (const char* variable : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"}) {
        const char* value = std::getenv(variable);
        theirs += value == nullptr ? "" : std::string("\n") + value;
    }
    auto count = [](const std::string& text, const char* part) {
        size_t found = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    };
    const char* const sharingOptions[] = {"Xshare",
                                          "SharedArchiveFile",
                                          "AutoCreateSharedArchive",
                                          "ArchiveClassesAtExit",
                                          "AOTCache",
                                          "AOTMode",
                                          "AOTConfiguration",
                                          "DumpLoadedClassList",
                                          "SharedClassListFile"};
    return std::any_of(
        std::begin(sharingOptions), std::end(sharingOptions),
        [&](const char* option) { return count(theirs, option) > count(ours, option); });
}

void ClassDataCache::withdraw() {
    for (const std::string& file : {m_pendingFile, m_vmOutput}) {
        if (!file.empty()) {
            PlatformImpl::removeFileFromCleanupList(SString(file.c_str()));
        }
    }
    m_words.clear();
    m_pendingFile.clear();
    m_vmOutput.clear();
    m_pendingKind = Kind::kNone;
}

bool ClassDataCache::isEnabled() {
    const char* setting = std::getenv("QV_CLASS_CACHE");
    return setting == nullptr || std::strcmp(setting, "0") != 0;
}

std::vector<std::string> ClassDataCache::options(const std::string& jvmHome,
                                                 const std::vector<std::string>& applicationFiles) {
    withdraw();
    m_words = chooseOptions(jvmHome, applicationFiles);
    return m_words;
}

std::vector<std::string> ClassDataCache::chooseOptions(
    const std::string& jvmHome, const std::vector<std::string>& applicationFiles) {
    std::vector<std::string> words;
    if (!isEnabled() || applicationFiles.empty()) {
        return words;
    }
    std::string identity;
    const JvmKind kind = inspect(jvmHome, identity);
    const std::string directory =
        kind.hotSpot && kind.feature >= 13
            ? UserCache::prepareDirectory(ApplicationCache::kClassArchiveDirectory)
            : std::string();
    if (directory.empty() || !isPlainPath(directory)) {
        return words;
    }
    std::string key = "qvlauncher class data 1\n" + identity;
    for (const std::string& file : applicationFiles) {
        struct stat info;
        if (lstat(file.c_str(), &info) != 0) {
            return words;
        }
        key += file + "=" + UserCache::fileIdentity(info) + "\n";
    }
    const std::string base = directory + "/" + Sha256::of(key).substr(0, 32);
    const bool aot = kind.feature >= 25;
    m_archive = base + (aot ? ".aot" : ".jsa");
    const std::string log = base + ".log";
    if (exists(base + ".off")) {
        return words;
    }
    if (wasRefused(log)) {
        // The JVM refused the archive last time: write it again, but only once.
        Log::logMessage(concat("The JVM refused the class-data archive ", m_archive.c_str()),
                        LOG_INFO);
        unlink(m_archive.c_str());
        unlink(log.c_str());
        const bool rebuiltBefore = exists(base + ".rebuilt");
        touchMarker(base + (rebuiltBefore ? ".off" : ".rebuilt"));
        if (rebuiltBefore) {
            return words;
        }
    }
    const char* quiet = aot ? "-Xlog:aot*=off,cds*=off" : "-Xlog:cds*=off";
    const char* record =
        aot ? "-Xlog:aot=info,cds=info:file=" : "-Xlog:cds=info,cds+dynamic=info:file=";
    if (kind.feature >= 19 && !aot) {
        // These JVMs write, check and refresh the archive themselves.
        words.push_back("-XX:+AutoCreateSharedArchive");
        words.push_back("-XX:SharedArchiveFile=" + m_archive);
        words.push_back(quiet);
        return words;
    }
    if (isUsableArchive(m_archive)) {
        utimensat(AT_FDCWD, m_archive.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
        words.push_back((aot ? "-XX:AOTCache=" : "-XX:SharedArchiveFile=") + m_archive);
    } else {
        const std::string pid = std::to_string(static_cast<long>(getpid()));
        m_pendingFile = base + "." + pid + (aot ? ".aotconf" : ".jsa.part");
        m_pendingKind = aot ? Kind::kAotRecord : Kind::kDynamicArchive;
        PlatformImpl::addFileToCleanupList(SString(m_pendingFile.c_str()));
        if (aot) {
            words.push_back("-XX:AOTMode=record");
            words.push_back("-XX:AOTConfiguration=" + m_pendingFile);
            // The JVM announces the record on its terminal output, which no option silences
            // alone: the JVM's own output of this run goes to a file, and finishRun passes on
            // everything in it but that announcement.
            m_vmOutput = base + "." + pid + ".vmout";
            PlatformImpl::addFileToCleanupList(SString(m_vmOutput.c_str()));
            words.push_back("-XX:+UnlockDiagnosticVMOptions");
            words.push_back("-XX:-DisplayVMOutput");
            words.push_back("-XX:+LogVMOutput");
            words.push_back("-XX:LogFile=" + m_vmOutput);
        } else {
            words.push_back("-XX:ArchiveClassesAtExit=" + m_pendingFile);
        }
    }
    words.push_back(quiet);
    // Only a run that maps the archive logs to the file the next launch reads: a run that
    // writes one warns about classes it leaves out, which says nothing about the archive.
    if (m_pendingKind == Kind::kNone) {
        words.push_back(record + log + "::filecount=0");
    }
    return words;
}

void ClassDataCache::finishRun(const std::string& javaExecutable, const std::string& classpath) {
    const std::string pending = m_pendingFile;
    const Kind kind = m_pendingKind;
    m_pendingFile.clear();
    m_pendingKind = Kind::kNone;
    if (kind == Kind::kDynamicArchive) {
        moveIntoPlace(pending, m_archive);
        return;
    }
    passOnVmOutput(pending);
    if (kind != Kind::kAotRecord || !isUsableArchive(pending) || classpath.empty()) {
        unlink(pending.c_str());
        PlatformImpl::removeFileFromCleanupList(SString(pending.c_str()));
        return;
    }
    const std::string assembled = pending + ".aot";
    PlatformImpl::addFileToCleanupList(SString(assembled.c_str()));
    const char* const words[] = {"-XX:AOTMode=create", "-Xlog:aot*=off,cds*=off"};
    SString command = quoteShellArgument(SString(javaExecutable.c_str()));
    for (const char* word : words) {
        command += ' ';
        command += word;
    }
    command += ' ';
    command += quoteShellArgument(SString(("-XX:AOTConfiguration=" + pending).c_str()));
    command += ' ';
    command += quoteShellArgument(SString(("-XX:AOTCache=" + assembled).c_str()));
    command += " -cp ";
    command += quoteShellArgument(SString(classpath.c_str()));
    Log::logMessage(concat("Assembling the AOT cache: ", command), LOG_INFO);
    DiscardedOutput discarded;
    ChildOptions assembly;
    assembly.output = &discarded;
    assembly.helper = true;
    assembly.timeLimitMs = kAssemblyTimeLimitMs;
    try {
        const ChildResult result = PlatformImpl::runForeground(command, SString(), assembly);
        if (result.exitStatus != 0) {
            unlink(assembled.c_str());
        }
    } catch (const LauncherException& error) {
        Log::logMessage(error.m_message, LOG_INFO);
        unlink(assembled.c_str());
    }
    unlink(pending.c_str());
    PlatformImpl::removeFileFromCleanupList(SString(pending.c_str()));
    moveIntoPlace(assembled, m_archive);
}
