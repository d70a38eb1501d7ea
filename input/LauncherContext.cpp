#include "input/LauncherContext.h"

namespace {

class DetachedContext : public LauncherContext {
public:
    SString launcherFile() const override { return SString(); }
    SString originalLauncherFile() const override { return SString(); }
    SString userJavaHome() const override { return SString(); }
    const FileIndexEntry* embeddedFileAt(long /*index*/) const override { return nullptr; }
    SString applicationArchive() const override { return SString(); }
    SString applicationArchive(const SString& /*name*/) const override { return SString(); }
};

}  // namespace

SString LauncherContext::originalLauncherDir() const {
    SString path = originalLauncherFile();
    SString::size_type separator = path.find_last_of("/\\");
    if (separator == SString::npos) {
        return SString();
    }
    return path.substr(0, separator);
}

SString LauncherContext::launcherDir() const {
    SString name = launcherFile();
    SString::size_type separator = name.rfind('/');
    if (separator == SString::npos) {
        return SString();
    }
    // A launcher in the root directory runs there, not in whatever directory is current.
    return separator == 0 ? SString("/") : name.substr(0, separator);
}

const LauncherContext& LauncherContext::detached() {
    static const DetachedContext context;
    return context;
}
