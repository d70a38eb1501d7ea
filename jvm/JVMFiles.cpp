#include "jvm/JVMFiles.h"

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/FileIndexEntry.h"
#include "input/TagFile.h"
#include "jvm/TrustedPath.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SubStatusWrapper.h"

namespace {

// Embedded file type of the verify class archive.
const long kVerifyArchiveType = 5;

// A place the disk walk turned up was chosen by nobody: anyone who could write there may have
// planted the java it holds. Such a candidate is skipped unless its path is trusted.
bool isSafeDiskCandidate(const JVMFile& file, const SString& home) {
    SString executable(home);
    appendPathSeparator(executable);
    executable += file.getTagValue(g_jvmExeTag);
    SString reason;
    if (isTrustedExecutablePath(executable, reason)) {
        return true;
    }
    Log::logMessage(concat("Skipping ", executable, " found on the disk: ", reason), LOG_WARNING);
    file.recordFailedAttempt(home, SString("unsafe path: ") += reason);
    return false;
}

bool hasEntryFor(const UnverifiedJVMMatchPtrDeque& matches, const JVMFile& file) {
    for (long i = 0; i < matches.size(); ++i) {
        if (matches.at(i)->equals(file)) {
            return true;
        }
    }
    return false;
}

}  // namespace

JVMFiles::JVMFiles(const LauncherContext& context) noexcept
    : m_context(context), m_currentMatch(nullptr), m_stopAtFirst(false) {}

JVMFiles::~JVMFiles() {
    clearCurrentMatch();
}

void JVMFiles::clearCurrentMatch() {
    // A reported match was handed to the caller's list and the pointer cleared; one still held
    // here was never reported (a search left by an exception) and is ours to delete.
    delete m_currentMatch;
    m_currentMatch = nullptr;
}

void JVMFiles::addJVMFile(JVMFile* file) {
    file->setAttemptLog(&m_attempts);
    m_jvmFiles.push_back(file, true);
}

void JVMFiles::logAttempts() const {
    SString summary("No matching JVM was found. ");
    if (m_attempts.size() == 0) {
        summary += "No place was tried.";
    } else {
        summary += "Places tried:";
        for (long i = 0; i < m_attempts.size(); ++i) {
            summary += "\n  ";
            summary += JVMAttempts::describe(m_attempts.at(i));
        }
    }
    Log::logMessage(summary, LOG_WARNING);
}

const JVMFile* JVMFiles::getJVMFile(long index) const {
    const JVMFile* file = m_jvmFiles.at(index);
    if (file == nullptr) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_INVALID_JVM_FILE_ID));
    }
    return file;
}

JVMFile* JVMFiles::getJVMFile(long index) {
    return const_cast<JVMFile*>(static_cast<const JVMFiles*>(this)->getJVMFile(index));
}

void JVMFiles::setVerifyClass(const SString& classpath, const SString& className) {
    m_verifyClass = VerifyClass(classpath, className);
}

const VerifyClass& JVMFiles::verifyClass() {
    if (m_verifyClass.isSet()) {
        return m_verifyClass;
    }
    const FileIndexEntry* archive = nullptr;
    for (long i = 0; const FileIndexEntry* entry = m_context.embeddedFileAt(i); ++i) {
        if (entry->getType() == kVerifyArchiveType) {
            archive = entry;
        }
    }
    if (archive != nullptr) {
        m_verifyClass = VerifyClass(*archive);
    }
    return m_verifyClass;
}

bool JVMFiles::searchUserHome() {
    const SString userHome = m_context.userJavaHome();
    if (userHome.empty()) {
        return false;
    }
    Log::logMessage(SString("Checking user specified Java home directory => ") += userHome,
                    LOG_INFO);
    JVMAttempts::NamedBy naming(&m_attempts, concat("-qv:javahome ", userHome));
    for (long i = 0; i < m_jvmFiles.size() && m_currentMatch == nullptr; ++i) {
        m_currentMatch = m_jvmFiles.at(i)->verify(userHome, m_verifyClass);
    }
    return m_currentMatch != nullptr;
}

bool JVMFiles::searchHints() {
    Log::logMessage("Initiating JVM search based on hints...", LOG_INFO);
    bool lastAsksForDiskWalk = false;
    for (long i = 0; i < m_jvmFiles.size(); ++i) {
        JVMFile* file = m_jvmFiles.at(i);
        lastAsksForDiskWalk = file->getTagFile().getBoolTagValue(g_searchAllTag, false);
        SubStatusWrapper savedStatus;
        PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING_FOR, file->getTagValue(g_descTag));
        m_currentMatch = file->verifyWithPlatformHints(m_verifyClass);
        if (m_currentMatch == nullptr) {
            m_currentMatch = file->verifyWithPathHints(m_verifyClass);
        }
        // A jvm file that allows the disk walk ends the hint search: the walk covers the rest.
        if (m_currentMatch != nullptr || lastAsksForDiskWalk) {
            break;
        }
    }
    return lastAsksForDiskWalk;
}

void JVMFiles::search(JVMMatchPtrDeque& matches) {
    clearCurrentMatch();
    m_attempts.clear();
    verifyClass();
    if (!searchUserHome()) {
        bool walkDisk = searchHints();
        if (m_currentMatch == nullptr && walkDisk) {
            m_stopAtFirst = true;
            exhaustiveSearch(matches);
        }
    }
    reportMatch(matches, matches.size());
}

void JVMFiles::searchAll(JVMMatchPtrDeque& matches, bool stopAtFirst) {
    clearCurrentMatch();
    m_attempts.clear();
    verifyClass();
    m_stopAtFirst = stopAtFirst;
    long before = matches.size();
    exhaustiveSearch(matches);
    reportMatch(matches, before);
}

void JVMFiles::reportMatch(JVMMatchPtrDeque& matches, long countBefore) {
    if (m_currentMatch != nullptr) {
        matches.push_back(m_currentMatch);
        m_currentMatch = nullptr;
    }
    if (matches.size() == countBefore) {
        logAttempts();
    }
}

void JVMFiles::exhaustiveSearch(JVMMatchPtrDeque& matches) {
    m_unverifiedMatches.clear();
    StringDeque names;
    for (long i = 0; i < m_jvmFiles.size(); ++i) {
        SString exe = m_jvmFiles.at(i)->getTagValue(g_jvmExeTag);
        bool known = false;
        for (long j = 0; j < names.size() && !known; ++j) {
            known = names.at(j).compare(exe) == 0;
        }
        if (!known) {
            names.push_back(exe);
        }
    }
    SubStatusWrapper savedStatus;
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_SCANNING_DISKS, SString());
    Log::logMessage("Beginning exhaustive search", LOG_INFO);
    PlatformImpl::findFiles(names, *this);
    if (m_currentMatch == nullptr) {
        Log::logMessage("Processing unverified matches.\n", LOG_INFO);
        verifyUnverifiedMatches(matches);
    }
}

void JVMFiles::verifyUnverifiedMatches(JVMMatchPtrDeque& matches) {
    for (long i = 0; i < m_unverifiedMatches.size() && !PlatformImpl::isCanceled(); ++i) {
        UnverifiedJVMMatch* candidate = m_unverifiedMatches.at(i);
        const StringDeque& homes = candidate->getJVMHomes();
        for (long h = 0; h < homes.size() && !PlatformImpl::isCanceled(); ++h) {
            if (!isSafeDiskCandidate(candidate->getJVMFile(), homes.at(h))) {
                continue;
            }
            JVMMatch* match = candidate->getJVMFile().verify(homes.at(h), m_verifyClass);
            if (match != nullptr) {
                matches.push_back(match);
                if (m_stopAtFirst) {
                    return;
                }
            }
        }
    }
}

bool JVMFiles::foundFile(const SString& path) {
    bool stop = false;
    for (long i = 0; i < m_jvmFiles.size() && m_currentMatch == nullptr; ++i) {
        JVMFile* file = m_jvmFiles.at(i);
        SString exe = file->getTagValue(g_jvmExeTag);
        SString::size_type ending = stringEndsWith(path, exe.c_str());
        // The walk reports only paths ending in "/" + JVM_EXE; anything shorter has no home.
        if (exe.empty() || ending == SString::npos || ending == 0) {
            continue;
        }
        SString home = path.substr(0, ending - 1);
        if (i == 0 && m_stopAtFirst) {
            if (!isSafeDiskCandidate(*file, home)) {
                continue;
            }
            m_currentMatch = file->verify(home, m_verifyClass);
            stop = m_currentMatch != nullptr;
        } else {
            addUnverifiedMatch(file, home);
        }
    }
    return stop;
}

void JVMFiles::addUnverifiedMatch(JVMFile* file, const SString& home) {
    // A file's first match gives it an entry, appended so that entries keep the order in which
    // the walk found their files; addMatch then gives the entry its home.
    if (!hasEntryFor(m_unverifiedMatches, *file)) {
        m_unverifiedMatches.push_back(new UnverifiedJVMMatch(*file));
    }
    m_unverifiedMatches.addMatch(*file, home);
}
