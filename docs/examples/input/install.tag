ACTION: INSTALL_JVM
INSTALL_JVM_EXE: /opt/myapp/install-jre.bin
INSTALL_JVM_DEST: /opt/myapp/jre
