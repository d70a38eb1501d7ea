cp docs/examples/instructions/complete.instructions docs/examples/instructions/app.jvm hello/
cp docs/examples/installer/install-jre.sh hello/install-jre.bin && tar -czf - -C "$JRE" . >> hello/install-jre.bin
build/qvpack -o hello/myapp.bin --instructions hello/complete.instructions --jvm hello/app.jvm --launch-script hello/hello.launch --verify build/verify.jar --app hello/hello.jar --installer hello/install-jre.bin
