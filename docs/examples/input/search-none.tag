ACTION: SEARCH
JVM: java21.jvm
LOGFILE: /tmp/myapp-search.log
