#include "jvm/UnverifiedJVMMatch.h"

void UnverifiedJVMMatch::addJVMHome(const SString& home) {
    for (long i = 0; i < m_homes.size(); ++i) {
        if (m_homes.at(i).compare(home) == 0) {
            return;
        }
    }
    m_homes.push_back(home);
}

void UnverifiedJVMMatchPtrDeque::addMatch(const JVMFile& file, const SString& home) {
    for (long i = 0; i < size(); ++i) {
        if (at(i)->equals(file)) {
            at(i)->addJVMHome(home);
            return;
        }
    }
}
