#ifndef QV_JVM_VERSIONRANGE_H
#define QV_JVM_VERSIONRANGE_H

#include <vector>

#include "base/SString.h"

// A range of Java versions as a jvm file writes it in JVM_PROPERTIES: "[11,)", "[1.8,17]",
// "(11,21)", "[17]". Brackets include their bound, parentheses exclude it, an empty side is
// open, and a single version in brackets means exactly that version.
//
// Versions are compared as numbers: a version string is split on ".", "_", "-" and "+", each
// part counts by its leading digits (the first part without any ends the version, so "9-ea" is
// 9), missing parts count as 0, and a leading "1." is the old spelling of the feature number
// ("1.8.0_392" is 8.0.392).
class VersionRange {
public:
    // Reads text as a range. Returns false when it is not one (then looksLikeRange tells
    // whether it was meant to be, so the caller can warn).
    bool parse(const SString& text);
    // True when version lies in the range.
    bool contains(const SString& version) const;

    // Starts with "[" or "(" and ends with "]" or ")".
    static bool looksLikeRange(const SString& text);
    // The numeric parts of a version; empty when it starts with no digit.
    static std::vector<unsigned long> parseVersion(const SString& text);
    // Negative, zero or positive as a is below, equal to or above b.
    static int compareVersions(const std::vector<unsigned long>& a,
                               const std::vector<unsigned long>& b);

private:
    bool m_hasLower = false;
    bool m_lowerInclusive = false;
    std::vector<unsigned long> m_lower;
    bool m_hasUpper = false;
    bool m_upperInclusive = false;
    std::vector<unsigned long> m_upper;
};

#endif  // QV_JVM_VERSIONRANGE_H
