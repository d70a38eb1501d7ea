// qvpack: builds launcher files from the qvlauncher stub and lists their embedded files.
#include <iostream>
#include <string>
#include <vector>

#include "tools/qvpack/QvpackCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        runQvpack(parseQvpackArguments(args), std::cout, std::cerr);
    } catch (const QvpackUsageError& e) {
        std::cerr << "qvpack: " << e.m_message.c_str()
                  << "\nTry 'qvpack --help' for the options.\n";
        return 2;
    } catch (const LauncherException& e) {
        std::cerr << "qvpack: " << e.m_message.c_str() << "\n";
        return 1;
    }
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}
