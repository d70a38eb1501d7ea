#include "jvm/JVMSearchReport.h"

#include "base/TextUtil.h"
#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "platform/unix/PlatformImpl.h"

namespace {

bool containsLine(const StringDeque& lines, const SString& line) {
    for (long i = 0; i < lines.size(); ++i) {
        if (lines.at(i).compare(line) == 0) {
            return true;
        }
    }
    return false;
}

// "<DESC> (<jvm file>): <name=value> and <name=value>".
SString describeRequirement(const JVMFile& file) {
    const TagFile& tags = file.getTagFile();
    SString name = file.getTagValue(g_descTag);
    SString description =
        name.empty() ? concat(tags.fileName(), ": ") : concat(name, " (", tags.fileName(), "): ");
    const StringDeque* properties = tags.getValue(g_jvmPropertiesTag);
    if (properties == nullptr || properties->size() == 0) {
        return description += concat("no ", g_jvmPropertiesTag, ", so no JVM can match");
    }
    for (long i = 0; i < properties->size(); ++i) {
        if (i > 0) {
            description += " and ";
        }
        description += properties->at(i);
    }
    return description;
}

}  // namespace

void describeUnusedNamedHomes(const JVMAttempts& attempts, const SString& usedHome,
                              StringDeque& lines) {
    StringDeque named;
    for (long i = 0; i < attempts.size(); ++i) {
        const SString& namedBy = attempts.at(i).namedBy;
        if (!namedBy.empty() && !containsLine(named, namedBy)) {
            named.push_back(namedBy);
        }
    }
    for (long n = 0; n < named.size(); ++n) {
        StringDeque reasons;
        bool taken = false;
        for (long i = 0; i < attempts.size(); ++i) {
            const JVMAttempts::Attempt& attempt = attempts.at(i);
            if (attempt.namedBy.compare(named.at(n)) != 0) {
                continue;
            }
            taken = taken || attempt.home.compare(usedHome) == 0;
            SString reason = JVMAttempts::describeShort(attempt);
            if (!containsLine(reasons, reason)) {
                reasons.push_back(reason);
            }
        }
        if (taken) {
            continue;
        }
        SString line = concat("qvlauncher: ", named.at(n), " is not used: ");
        for (long r = 0; r < reasons.size(); ++r) {
            line += r > 0 ? "; " : "";
            line += reasons.at(r);
        }
        line += usedHome.empty() ? SString("; no JVM was found") : concat("; using ", usedHome);
        lines.push_back(line);
    }
}

SString describeNoJVMFound(const std::vector<const JVMFile*>& required, const JVMAttempts& attempts,
                           bool javaHomeHelps) {
    SString message = PlatformImpl::getMessageText(MSG_NO_MATCHING_JVM);
    message += required.size() > 1 ? "\nRequired, one of:" : "\nRequired:";
    for (const JVMFile* file : required) {
        // A loop of appends reads plainer than an accumulate over strings.
        // cppcheck-suppress useStlAlgorithm
        message += concat("\n  ", describeRequirement(*file));
    }
    if (attempts.size() == 0) {
        message +=
            "\nTried: no place (every hint came out empty, and no jvm file allows the "
            "disk walk).";
    } else {
        message += "\nTried:";
        long shown = attempts.size() < g_shownAttempts ? attempts.size() : g_shownAttempts;
        for (long i = 0; i < shown; ++i) {
            message += concat("\n  ", JVMAttempts::describe(attempts.at(i)));
        }
        if (attempts.size() > shown) {
            message += concat("\n  ... and ", convertToString(attempts.size() - shown), " more");
        }
    }
    message += javaHomeHelps ? "\nFix: set JAVA_HOME to a matching JDK, or run with -qv:javahome "
                               "DIR naming one."
                             : "\nFix: run with -qv:javahome DIR naming a matching JDK.";
    return message += " For details, run again with QV_LOG=- in the environment.";
}

bool hintsReadJavaHome(const JVMFile& file) {
    const StringDeque* hints = file.getTagFile().getValue(g_pathHintTag);
    for (long i = 0; hints != nullptr && i < hints->size(); ++i) {
        if (hints->at(i).find(g_javaHomeReference) != SString::npos) {
            return true;
        }
    }
    return false;
}
