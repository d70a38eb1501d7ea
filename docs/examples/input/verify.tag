ACTION: VERIFY_JVM
VERIFY_JVM_FILE: java11.jvm
VERIFY_JVM_HOME: /usr/lib/jvm/java-17-openjdk-amd64
