// Verification of a candidate JVM against a jvm file: run the candidate's java on the verify
// class and compare the system properties it prints with JVM_PROPERTIES.
#include <algorithm>
#include <iterator>
#include <memory>

#include "base/ShellQuote.h"
#include "base/TextUtil.h"
#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/VerifyCache.h"
#include "jvm/VersionRange.h"
#include "launchscript/CapturedRunLog.h"
#include "launchscript/EnvironmentExpander.h"
#include "launchscript/LaunchScript.h"
#include "launchscript/TemplateValue.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SubStatusWrapper.h"

namespace {

// The first line the verify class prints; everything before it is the JVM's own chatter.
const char kMagicValue[] = "1739021872";
const char kPrefixMark[] = "...";
const char kJavaHomeVariable[] = "JAVA_HOME";

// Progress units: a candidate whose executable is missing, and one run of the verify class.
const long kMissingExecutableProgress = 2;
const long kVerifyRunProgress = 6;

// Options that make the short verify run start and end faster without changing any system
// property (compared over every property a JDK 17 and a JDK 25 report): the simplest
// collector, no performance-data file, and an option a JVM does not know ignored rather than
// failing the run.
const char kVerifyRunOptions[] =
    "-XX:+IgnoreUnrecognizedVMOptions -XX:+UseSerialGC -XX:-UsePerfData";
// Options that choose the execution mode: they shorten the run most, but they show in what the
// JVM reports (java.vm.info reads "interpreted mode" or "emulated-client", and
// sun.management.compiler disappears), so they are added only when neither is asked.
const char kExecutionModeOptions[] = "-XX:TieredStopAtLevel=1 -Xint";
const char* const kExecutionModeProperties[] = {"java.vm.info", "sun.management.compiler"};

bool asksForExecutionMode(const StringDeque& propertyNames) {
    for (long i = 0; i < propertyNames.size(); ++i) {
        const SString& name = propertyNames.at(i);
        if (std::any_of(std::begin(kExecutionModeProperties), std::end(kExecutionModeProperties),
                        [&name](const char* property) { return name.compare(property) == 0; })) {
            return true;
        }
    }
    return false;
}

SString verifyRunOptions(const StringDeque& propertyNames) {
    if (asksForExecutionMode(propertyNames)) {
        return kVerifyRunOptions;
    }
    return concat(kVerifyRunOptions, " ", kExecutionModeOptions);
}

bool hasEnclosingQuotes(const SString& text) {
    return text.length() >= 2 && text.c_str()[0] == '"' && text.c_str()[text.length() - 1] == '"';
}

bool matchesExpected(const SString& line, const SString& expected) {
    if (VersionRange::looksLikeRange(expected)) {
        VersionRange range;
        if (range.parse(expected)) {
            return range.contains(line);
        }
        Log::logMessage(concat("The expected value ", expected,
                               " is not a valid version range; it is compared as text."),
                        LOG_WARNING);
    }
    SString::size_type dots = stringEndsWith(expected, kPrefixMark);
    if (dots == SString::npos) {
        return line.compare(expected) == 0;
    }
    return line.length() >= dots && line.compare(0, dots, expected, 0, dots) == 0;
}

// A number of seconds, whole or with up to three decimals ("30", "0.5"), at most a day, as
// milliseconds.
bool parseSeconds(const SString& text, long& milliseconds) {
    const long kMostSeconds = 86400;
    SString value(text);
    trim(value, whitespaceChars);
    const char* c = value.c_str();
    long whole = 0;
    long fraction = 0;
    long scale = 1000;
    bool digits = false;
    for (; *c >= '0' && *c <= '9'; ++c, digits = true) {
        whole = whole * 10 + (*c - '0');
        if (whole > kMostSeconds) {
            return false;
        }
    }
    if (*c == '.') {
        for (++c; *c >= '0' && *c <= '9' && scale > 1; ++c, digits = true) {
            scale /= 10;
            fraction += (*c - '0') * scale;
        }
    }
    if (!digits || *c != '\0' || (whole == kMostSeconds && fraction > 0)) {
        return false;
    }
    milliseconds = whole * 1000 + fraction;
    return true;
}

// "30 seconds", "0.5 seconds".
SString formatSeconds(long milliseconds) {
    SString text(convertToString(milliseconds / 1000));
    long rest = milliseconds % 1000;
    if (rest != 0) {
        char digits[4] = {static_cast<char>('0' + rest / 100),
                          static_cast<char>('0' + rest / 10 % 10),
                          static_cast<char>('0' + rest % 10), '\0'};
        SString fraction(digits);
        while (fraction.length() > 0 && fraction.c_str()[fraction.length() - 1] == '0') {
            fraction.erase(fraction.length() - 1);
        }
        text += '.';
        text += fraction;
    }
    return text += milliseconds == 1000 ? " second" : " seconds";
}

}  // namespace

bool JVMFile::hasProperties() const {
    if (!getTagValue(g_jvmPropertiesTag).empty()) {
        return true;
    }
    Log::logMessage(concat("Unable to verify ", m_tags.fileName(), " because the ",
                           g_jvmPropertiesTag, " tag was not specified."),
                    LOG_WARNING);
    return false;
}

JVMMatch* JVMFile::verify(const VerifyClass& verifyClass) {
    if (!hasProperties()) {
        return nullptr;
    }
    return verify(getTagValue(g_jvmHomeTag), verifyClass);
}

JVMMatch* JVMFile::verify(const SString& jvmHome, const VerifyClass& verifyClass) {
    SString jvmExe = getTagValue(g_jvmExeTag);
    if (jvmExe.empty() || jvmHome.empty()) {
        return nullptr;
    }
    SubStatusWrapper savedStatus;
    SString description = getTagValue(g_descTag);
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, description);

    SString executable(jvmHome);
    appendPathSeparator(executable);
    executable += jvmExe;
    Log::logMessage(concat("Verifying JVM at ", executable, "\n   for JVM: ", description),
                    LOG_INFO);

    if (!PlatformImpl::fileExists(executable)) {
        Log::logMessage(SString(executable) += " does not exist", LOG_INFO);
        recordFailedAttempt(jvmHome, "the executable does not exist", true);
        PlatformImpl::advanceUIProgress(kMissingExecutableProgress);
        return nullptr;
    }
    if (!performVerify(jvmHome, verifyClass)) {
        return nullptr;
    }
    Log::logMessage(SString("Found matching JVM at ") += jvmHome, LOG_INFO);
    return new JVMMatch(jvmHome, m_tags);
}

JVMMatch* JVMFile::verifyWithPathHints(const VerifyClass& verifyClass) {
    if (!hasProperties()) {
        return nullptr;
    }
    Log::logMessage(concat("Searching for ", getTagValue(g_descTag), " using path hints"),
                    LOG_INFO);

    StringDeque roots;
    PlatformImpl::getJVMSearchPartitions(roots);
    SString separator = PlatformImpl::getPathSeparator();
    const StringDeque* hints = m_tags.getValue(g_pathHintTag);
    EnvironmentExpander environment;
    for (long h = 0; hints != nullptr && h < hints->size(); ++h) {
        SString hint(hints->at(h));
        // A home the user chose through JAVA_HOME that is passed over is worth a word to them.
        SString namedBy;
        if (hint.find(g_javaHomeReference) != SString::npos) {
            namedBy = concat(kJavaHomeVariable, "=",
                             PlatformImpl::getEnvironmentVariable(kJavaHomeVariable));
        }
        JVMAttempts::NamedBy naming(namedBy.empty() ? nullptr : m_attemptLog, namedBy);
        if (hint.compare(g_javaOnPathHint) == 0) {
            hint = homeOfJavaOnPath();
            if (hint.empty()) {
                continue;
            }
        } else if (hint.find('#') != SString::npos) {
            // A hint may name its place through the environment (#JAVA_HOME#); one that comes
            // out empty names no place at all.
            hint = environment.expand(hint);
            if (hint.empty()) {
                continue;
            }
        }
        if (!hint.empty() && hint.compare(0, separator.length(), separator) == 0) {
            hint.erase(0, 1);
        }
        for (long r = 0; r < roots.size(); ++r) {
            SString candidate(roots.at(r));
            appendPathSeparator(candidate);
            candidate += hint;
            if (candidate.empty()) {
                continue;
            }
            Log::logMessage(SString("Checking path hint ") += candidate, LOG_INFO);
            JVMMatch* match = verify(candidate, verifyClass);
            if (match != nullptr) {
                return match;
            }
        }
    }
    return nullptr;
}

SString JVMFile::homeOfJavaOnPath() const {
    SString jvmExe = getTagValue(g_jvmExeTag);
    SString::size_type slash = jvmExe.rfind('/');
    SString name = slash == SString::npos ? jvmExe : jvmExe.substr(slash + 1);
    if (name.empty()) {
        return SString();
    }
    SString found = PlatformImpl::findCommandOnPath(name);
    SString::size_type ending = stringEndsWith(found, jvmExe.c_str());
    // The home is what precedes "/" + JVM_EXE; "/bin/java" itself would leave no home.
    if (found.empty() || ending == SString::npos || ending < 2 ||
        found.c_str()[ending - 1] != '/') {
        Log::logMessage(concat("No home of ", jvmExe, " was found on PATH",
                               found.empty() ? SString() : concat(": ", found)),
                        LOG_INFO);
        return SString();
    }
    SString home = found.substr(0, ending - 1);
    Log::logMessage(concat("The ", name, " on PATH is ", found, ", in the home ", home), LOG_INFO);
    return home;
}

JVMMatch* JVMFile::verifyWithPlatformHints(const VerifyClass& verifyClass) {
    if (!hasProperties()) {
        return nullptr;
    }
    Log::logMessage(concat("Searching for ", getTagValue(g_descTag), " using platform hints"),
                    LOG_INFO);

    const StringDeque* hints = m_tags.getValue(g_platformHintTag);
    for (long h = 0; hints != nullptr && h < hints->size(); ++h) {
        const SString& hint = hints->at(h);
        if (hint.empty()) {
            continue;
        }
        SString home = PlatformImpl::getPlatformHint(hint);
        if (home.empty()) {
            continue;
        }
        Log::logMessage(
            concat("Checking JVM at ", home, " which was resolved from platform hint ", hint),
            LOG_INFO);
        JVMMatch* match = verify(home, verifyClass);
        if (match != nullptr) {
            return match;
        }
    }
    return nullptr;
}

SString JVMFile::verifyCommand(const SString& jvmHome, const VerifyClass& verifyClass,
                               const StringDeque& propertyNames) const {
    // The candidate's executable and the verify class path are places on this machine: sealed,
    // they reach java as their own bytes whatever they hold ("@", "%", "$", quotes, blanks).
    SString executable(jvmHome);
    appendPathSeparator(executable);
    executable += getTagValue(g_jvmExeTag);
    SString command = TemplateValue::sealPath(executable);
    command += ' ';
    command += verifyRunOptions(propertyNames);
    command += " %CP%(";
    // %CP% reads quoted arguments: a class path in quotes is handed through as one value. One
    // without them is the launch script's "Expected string arg." error, a fault of the caller.
    const SString& verifyClasspath = verifyClass.classpath();
    if (hasEnclosingQuotes(verifyClasspath)) {
        command += '"';
        command += TemplateValue::sealPath(verifyClasspath.substr(1, verifyClasspath.length() - 2));
        command += '"';
    } else {
        command += verifyClasspath;
    }
    command += ") ";
    command += verifyClass.className();
    for (long i = 0; i < propertyNames.size(); ++i) {
        // The name comes from a file: quoted, it reaches the verify class as one argument and
        // never as shell syntax.
        command += ' ';
        command += quoteShellArgument(propertyNames.at(i));
    }
    return command;
}

bool JVMFile::performVerify(const SString& jvmHome, const VerifyClass& verifyClass) {
    m_tags.setTagValue(g_jvmHomeTag, jvmHome);

    StringPairPtrDeque properties;
    StringDeque names;
    const StringDeque* settings = m_tags.getValue(g_jvmPropertiesTag);
    for (long i = 0; settings != nullptr && i < settings->size(); ++i) {
        const SString& setting = settings->at(i);
        SString::size_type equals = setting.find('=');
        if (equals == SString::npos) {
            Log::logMessage(concat("Invalid ", g_jvmPropertiesTag, " setting (", setting,
                                   ") in JVM File ", m_tags.fileName()),
                            LOG_WARNING);
            continue;
        }
        SString name = setting.substr(0, equals);
        SString expected = setting.substr(equals + 1);
        trim(name, whitespaceChars);
        trim(expected, whitespaceChars);
        properties.push_back(new StringPair(name, expected));
        names.push_back(name);
    }

    SString output;
    SString failure;
    bool verified = verifyOutput(jvmHome, verifyClass, names, output, failure) &&
                    verifyJVMOutput(output, properties, &failure);
    PlatformImpl::advanceUIProgress(kVerifyRunProgress);
    if (!verified) {
        recordFailedAttempt(jvmHome, failure);
    }
    return verified;
}

bool JVMFile::verifyOutput(const SString& jvmHome, const VerifyClass& verifyClass,
                           const StringDeque& propertyNames, SString& output, SString& failure) {
    SString executable(jvmHome);
    appendPathSeparator(executable);
    executable += getTagValue(g_jvmExeTag);

    VerifyCache& cache = VerifyCache::instance();
    VerifyCache::Key key;
    bool cacheable = cache.isEnabled() && VerifyCache::isCacheable(propertyNames) &&
                     VerifyCache::makeKey(executable, jvmHome, verifyClass.identity(),
                                          verifyRunOptions(propertyNames), propertyNames, key);
    SString answer;
    if (cacheable && cache.lookup(key, answer)) {
        Log::logMessage(concat("Verification of ", executable, " answered from the verify cache"),
                        LOG_INFO);
        output = kMagicValue;
        output += '\n';
        output += answer;
        return true;
    }

    const long timeLimitMs = verifyTimeLimitMs();
    // Only a run needs the verify class on disk: the command, which names it, is built here.
    LaunchScript script(verifyCommand(jvmHome, verifyClass, propertyNames), true, false, m_context);
    script.leaveOutRuntimeClasspath();
    script.runAsHelper(timeLimitMs);
    {
        const VerifyClass::SharedWithChild sharing(verifyClass);
        script.execute(*this, nullptr, false);
    }
    if (script.timedOut()) {
        failure = "the verify run took longer than ";
        failure += formatSeconds(timeLimitMs);
        failure += " and was killed";
        Log::logMessage(concat("The verify run of ", executable, " took longer than ",
                               formatSeconds(timeLimitMs), " and was killed: the JVM is not taken"),
                        LOG_WARNING);
        return false;
    }
    if (script.outputCut()) {
        failure = "the verify run printed more than ";
        failure += convertToString(static_cast<long>(CapturedRunLog::kKeptBytes));
        failure += " bytes";
        Log::logMessage(
            concat("The verify run of ", executable, " printed more than ",
                   convertToString(static_cast<long>(CapturedRunLog::kKeptBytes)),
                   " bytes on standard output, more than an answer holds: the JVM is not taken"),
            LOG_WARNING);
        return false;
    }
    Log::logMessage(concat("Verification of ", executable, " answered by running the verify class"),
                    LOG_INFO);
    output = script.getStandardOutput();
    if (cacheable) {
        // Only a complete answer is kept: the magic line and what followed it.
        unsigned pos = 0;
        while (pos < output.length()) {
            SString line;
            readLineFromString(output, pos, line);
            if (line.compare(kMagicValue) == 0) {
                cache.store(key, pos < output.length() ? output.substr(pos) : SString());
                break;
            }
        }
    }
    return true;
}

long JVMFile::verifyTimeLimitMs() const {
    struct Source {
        SString value;
        SString name;
    } const sources[] = {
        {PlatformImpl::getEnvironmentVariable(g_verifyTimeoutVariable),
         concat("The environment variable ", g_verifyTimeoutVariable)},
        {getTagValue(g_verifyTimeoutTag),
         concat("The ", g_verifyTimeoutTag, " tag of ", m_tags.fileName())},
    };
    for (const Source& source : sources) {
        if (source.value.empty()) {
            continue;
        }
        long milliseconds = 0;
        if (parseSeconds(source.value, milliseconds)) {
            return milliseconds;
        }
        SString warning(source.name);
        warning += " (";
        warning += source.value;
        Log::logMessage(warning += ") is not a number of seconds; it is not used.", LOG_WARNING);
    }
    return g_defaultVerifyTimeLimitMs;
}

void JVMFile::recordFailedAttempt(const SString& jvmHome, const SString& reason,
                                  bool missing) const {
    if (m_attemptLog == nullptr) {
        return;
    }
    SString executable(jvmHome);
    appendPathSeparator(executable);
    executable += getTagValue(g_jvmExeTag);
    m_attemptLog->record(jvmHome, executable, m_tags.fileName(), reason, missing);
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties) {
    return verifyJVMOutput(output, properties, nullptr);
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& properties,
                              SString* failure) {
    unsigned pos = 0;
    SString line;
    bool foundMagic = false;
    while (pos < output.length()) {
        line.erase();
        readLineFromString(output, pos, line);
        if (line.compare(kMagicValue) == 0) {
            foundMagic = true;
            break;
        }
    }
    if (!foundMagic) {
        Log::logMessage(concat("Invalid magic value: ", line, "\n"), LOG_ERROR);
        if (failure != nullptr) {
            *failure = "no magic line in the verify output (last line: ";
            *failure += line;
            *failure += ")";
        }
        return false;
    }
    for (long i = 0; i < properties.size() && pos < output.length(); ++i) {
        line.erase();
        readLineFromString(output, pos, line);
        const StringPair& property = *properties.at(i);
        if (!matchesExpected(line, property.m_value)) {
            if (failure != nullptr) {
                *failure = property.m_name;
                *failure += " is ";
                *failure += line;
                *failure += ", expected ";
                *failure += property.m_value;
            }
            return false;
        }
    }
    return true;
}
