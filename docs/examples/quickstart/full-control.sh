cp docs/examples/quickstart/hello.* hello/
build/qvpack -o hello/hello.bin --instructions hello/hello.instructions --jvm hello/hello.jvm --launch-script hello/hello.launch --verify build/verify.jar --app hello/hello.jar
hello/hello.bin "two words" second
