#include "platform/unix/DeleteFullDir.h"

#include <cerrno>
#include <cstdio>

#include "launcher/Launcher.h"
#include "platform/unix/SystemError.h"

bool deleteOneFile(const SString& path) {
    if (std::remove(path.c_str()) == 0) {
        return true;
    }
    logDeleteFileFailure(path, errno);
    return false;
}

void logDeleteFileFailure(const SString& path, int err) {
    SString line("Could not delete ");
    line += path;
    line += " :  ";
    line += systemErrorText(err);
    Launcher::logMessage(line, LOG_WARNING);
}

DeleteFullDir::DeleteFullDir() : FileNavigator(false) {}

bool DeleteFullDir::process(const SString& root) {
    m_failed.clear();
    bool stopped = FileNavigator::process(root);
    // The visited list holds every parent before its children, so walking it backwards
    // empties each directory before its own removal is tried.
    for (long i = m_visited.size() - 1; i >= 0; --i) {
        const SString& dir = m_visited.at(i);
        if (keepsDirectory(dir)) {
            continue;
        }
        if (!deleteOneFile(dir)) {
            m_failed.push_back(dir);
        }
    }
    return stopped;
}

bool DeleteFullDir::processFile(const SString& path) {
    deleteOneFile(path);
    return false;
}

bool DeleteFullDir::liesInside(const SString& path, const SString& dir) {
    if (dir.empty() || path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0) {
        return false;
    }
    // A root given with its trailing "/" already ends the prefix.
    return dir[dir.size() - 1] == '/' || path[dir.size()] == '/';
}

bool DeleteFullDir::keepsDirectory(const SString& dir) const {
    for (long i = 0; i < m_failed.size(); ++i) {
        if (liesInside(m_failed.at(i), dir)) {
            return true;
        }
    }
    return false;
}
