cmake -S . -B build -DQV_BUILD_TESTS=OFF && cmake --build build -j2
mkdir -p hello/classes && javac --release 11 -d hello/classes examples/hello/Hello.java
jar --create --file hello/hello.jar --main-class Hello -C hello/classes .
build/qvpack -o hello/hello --main-jar hello/hello.jar
hello/hello "two words" second
