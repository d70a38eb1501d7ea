// The reference for the stub's size: a program that uses what every C++ program here uses
// (strings, an exception, stdio), linked as the qvlauncher stub is linked, with the C++
// runtime inside it.
#include <cstdio>
#include <stdexcept>
#include <string>

int main(int argc, char** argv) {
    try {
        std::string name(argc > 0 ? argv[0] : "");
        if (name.empty()) {
            throw std::runtime_error("no program name");
        }
        std::printf("%s\n", name.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
