#ifndef QV_LAUNCHSCRIPT_CLASSDATACACHE_H
#define QV_LAUNCHSCRIPT_CLASSDATACACHE_H

#include <string>
#include <vector>

// The JVM's class-data archive of an application whose jars lie in the application cache: the
// first launch has the JVM write one, later launches map it and start faster.
//
// Only for a HotSpot JVM (lib/server or lib/client libjvm.so, and no OpenJ9 in its home) whose
// release file says Java 13 or later: 13 to 18 write a dynamic archive at exit, which the
// launcher moves into place after the run; 19 to 24 create and refresh theirs themselves
// (AutoCreateSharedArchive); 25 and later record the run's classes and the launcher assembles
// the AOT cache from that record after the application has ended. Each archive lies in
// <cache>/classes/, named by a digest of the JVM's identity (its libjvm, runtime image and
// release file) and of the application files' paths and identities: a changed JVM or jar gets an
// archive of its own, and the old one ages out under the application cache's size limit.
//
// The JVM's class-sharing messages go to a log file beside the archive, not to the user's
// terminal. When that log says, at the next launch, that the JVM did not map the archive, the
// archive is dropped and written again, once; refused again, the application runs without one
// from then on (JDK 19 to 24 check and rewrite theirs themselves). Nothing here fails a launch.
// QV_CLASS_CACHE=0 in the environment turns it off; so does a cache path holding anything but
// letters, digits and "/._+-", which the JVM's option syntax
// could misread.
class ClassDataCache {
public:
    // False when QV_CLASS_CACHE=0.
    static bool isEnabled();

    // The JVM options (each a whole word, to be sealed) that make the run of the java under
    // jvmHome use or write the application's archive; none when no archive applies.
    // applicationFiles are the cached paths of the application's class path files.
    std::vector<std::string> options(const std::string& jvmHome,
                                     const std::vector<std::string>& applicationFiles);
    // True when command, the launch command that holds the words options gave, or the
    // variables the JVM reads its options from, set class-sharing options of their own (the
    // user's -Xshare:off, a SharedArchiveFile): the JVM may refuse to start with both.
    bool conflictsWith(const std::string& command) const;
    // Forgets the options given: this launch runs without an archive.
    void withdraw();
    // True when the run that options prepared leaves work for finishRun: the launcher must stay
    // the application's parent.
    bool hasPendingWork() const { return !m_pendingFile.empty(); }
    // After the application ended: moves a written archive into place, or assembles the AOT
    // cache from the run's record by running java (a helper, quiet, with a time limit) with
    // classpath, the class path the application ran with.
    void finishRun(const std::string& javaExecutable, const std::string& classpath);

private:
    enum class Kind { kNone, kDynamicArchive, kAotRecord };

    std::vector<std::string> chooseOptions(const std::string& jvmHome,
                                           const std::vector<std::string>& applicationFiles);
    // Writes to standard error what the JVM of a record run printed on its terminal output,
    // without its announcement of configuration.
    void passOnVmOutput(const std::string& configuration);

    std::vector<std::string> m_words;  // what options gave
    std::string m_archive;             // the archive later launches use
    std::string m_pendingFile;         // what this run writes, for finishRun to make m_archive
    Kind m_pendingKind = Kind::kNone;
    std::string m_vmOutput;  // where a record run's JVM writes its terminal output
};

#endif  // QV_LAUNCHSCRIPT_CLASSDATACACHE_H
