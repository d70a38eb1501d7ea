#ifndef QV_JVM_JVMSEARCHREPORT_H
#define QV_JVM_JVMSEARCHREPORT_H

#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"
#include "jvm/JVMAttempts.h"

class JVMFile;

// What the user is told about a JVM search, from its attempts: why a home they named was not
// taken, and, when no JVM was found, what was required, where the launcher looked and how to
// fix it.

// At most this many places tried are listed in describeNoJVMFound; the log has them all.
inline constexpr long g_shownAttempts = 10;

// One line (without line feed) for each home the user named (JAVA_HOME through a #JAVA_HOME#
// hint, -qv:javahome) that the search tried and did not take, in the order first tried:
// "qvlauncher: JAVA_HOME=/x is not used: /x/bin/java does not exist; using /y", or
// "...; no JVM was found" when usedHome is empty. Why is every distinct short
// reason of its attempts, joined by "; ". A home equal to usedHome was taken: no line.
void describeUnusedNamedHomes(const JVMAttempts& attempts, const SString& usedHome,
                              StringDeque& lines);

// The message of a run left without a JVM, lines joined by line feeds (none at the end):
// "No matching JVM was found." (in the user's language); "Required:" (or "Required, one of:")
// with a line "  <DESC> (<jvm file>): <JVM_PROPERTIES joined by " and ">" per jvm file; "Tried:"
// with a line per attempt (JVMAttempts::describe), at most g_shownAttempts and then
// "  ... and <n> more", or "Tried: no place ..." when there was none; and the fix. The fix
// names JAVA_HOME only when javaHomeHelps (a searched hint reads it), and always -qv:javahome
// and QV_LOG=-.
SString describeNoJVMFound(const std::vector<const JVMFile*>& required, const JVMAttempts& attempts,
                           bool javaHomeHelps);

// True when a PATH_HINT of file reads JAVA_HOME (#JAVA_HOME#).
bool hintsReadJavaHome(const JVMFile& file);

#endif  // QV_JVM_JVMSEARCHREPORT_H
