// The launcher-file loader on arbitrary bytes: the input is a whole launcher file, so the
// fuzzer reaches the trailer (its last 8 bytes), the file index it points to and the embedded
// tag files the index describes, and the script objects built from them.

#include <cstdint>
#include <string>

#include "base/LauncherException.h"
#include "input/FileIndexEntry.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ScratchDir scratch;
    fuzz::silenceLauncher();
    const SString launcher = scratch.writeFile("launcher.bin", data, size).c_str();
    Launcher::setLauncherFiles(launcher, launcher);

    // A fresh object per input: a loaded one ignores every later load.
    LauncherInputFiles inputFiles(Launcher::context());
    try {
        inputFiles.load(true);
    } catch (const LauncherException&) {
        // A broken index leaves nothing behind; only building the objects may fail after it.
        if (!inputFiles.isIndexLoaded() && inputFiles.getFileCount() != 0) {
            fuzz::fail("a failed load left a partial index",
                       std::to_string(inputFiles.getFileCount()));
        }
        return 0;
    }
    // Every entry the loader accepted must describe bytes inside the file.
    for (long i = 0; i < inputFiles.getFileCount(); ++i) {
        const FileIndexEntry* entry = inputFiles.getFileAt(i);
        if (entry == nullptr || entry->getOffset() < 0 || entry->getLength() < 0 ||
            static_cast<size_t>(entry->getOffset()) + static_cast<size_t>(entry->getLength()) >
                size) {
            fuzz::fail("an accepted entry lies outside the file", std::to_string(i));
        }
        if (inputFiles.getFile(entry->getId()) == nullptr) {
            fuzz::fail("getFile does not find an id of the index", std::to_string(i));
        }
    }
    if (inputFiles.getFileAt(-1) != nullptr || inputFiles.getFileAt(inputFiles.getFileCount())) {
        fuzz::fail("getFileAt out of range gives an entry", "");
    }
    return 0;
}
