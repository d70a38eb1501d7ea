#include "input/LauncherInputFiles.h"

#include "launcher/LauncherException.h"

void LauncherInputFiles::load(bool /*loadScripts*/) { m_indexLoaded = true; }

void LauncherInputFiles::extractAll() {
    throw LauncherException("Extracting embedded files is not supported by this build.");
}
