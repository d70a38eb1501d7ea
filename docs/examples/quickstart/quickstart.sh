cmake -S . -B build -DQV_BUILD_TESTS=OFF && cmake --build build -j2
mkdir -p hello/classes && javac --release 11 -d hello/classes examples/hello/Hello.java
jar --create --file hello/hello.jar -C hello/classes . && cp docs/examples/quickstart/hello.* hello/
build/qvpack -o hello/hello.bin --instructions hello/hello.instructions --jvm hello/hello.jvm --launch-script hello/hello.launch --verify build/verify.jar --app hello/hello.jar
hello/hello.bin "two words" second
