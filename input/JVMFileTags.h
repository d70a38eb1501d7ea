#ifndef QV_INPUT_JVMFILETAGS_H
#define QV_INPUT_JVMFILETAGS_H

// The tags of a jvm file. Each is read as its first value unless noted; a missing tag reads
// as empty.
inline constexpr char g_descTag[] = "DESC";                     // readable JVM name
inline constexpr char g_jvmHomeTag[] = "JVM_HOME";              // the JVM's home
inline constexpr char g_jvmExeTag[] = "JVM_EXE";                // java, relative to home
inline constexpr char g_pathHintTag[] = "PATH_HINT";            // all values
inline constexpr char g_platformHintTag[] = "PLATFORM_HINT";    // all values
inline constexpr char g_jvmPropertiesTag[] = "JVM_PROPERTIES";  // all values, name=value
inline constexpr char g_searchAllTag[] = "SEARCH_ALL";          // bool, default false
inline constexpr char g_jvmFileTag[] = "JVM_FILE";              // written by the launcher
inline constexpr char g_jvmTempTag[] = "JVM_TEMP";              // bool, by the launcher
inline constexpr char g_jvmClasspathTag[] = "JVM_CLASSPATH";    // entries the JVM needs
inline constexpr char g_classpathTag[] = "CLASSPATH";           // e.g. "-classpath "
inline constexpr char g_classpathSeparatorTag[] = "CLASSPATH_SEPARATOR";
inline constexpr char g_useCpEnvVarTag[] = "USE_CP_ENV_VAR";        // "1": class path in env
inline constexpr char g_cpEnvVarTag[] = "CP_ENV_VAR";               // that variable's name
inline constexpr char g_systemTag[] = "SYSTEM";                     // e.g. "-D"
inline constexpr char g_systemSeparatorTag[] = "SYSTEM_SEPARATOR";  // e.g. "="
inline constexpr char g_verifyTimeoutTag[] = "VERIFY_TIMEOUT";      // seconds, 0: no limit
// Overrides VERIFY_TIMEOUT on the user's machine.
inline constexpr char g_verifyTimeoutVariable[] = "QV_VERIFY_TIMEOUT";
// The time a verify run may take when neither sets it.
inline constexpr long g_defaultVerifyTimeLimitMs = 30000;

#endif  // QV_INPUT_JVMFILETAGS_H
