#!/bin/sh
# A JVM installer: the launcher runs it in the destination directory and, when it ends,
# reads the jvm file named "jvm" that it left there. The runtime itself is a tar.gz archive
# appended to this script after the line __RUNTIME__.
start=$(grep -an '^__RUNTIME__$' "$0" | head -n 1 | cut -d: -f1)
tail -n +"$((start + 1))" "$0" | tar -xzf - || exit 1
cat > jvm <<'JVM'
DESC: Java runtime of My App
JVM_EXE: bin/java
JVM_PROPERTIES: java.specification.version=[11,)
CLASSPATH: "-classpath "
CLASSPATH_SEPARATOR: :
SYSTEM: -D
SYSTEM_SEPARATOR: =
JVM
exit 0
__RUNTIME__
