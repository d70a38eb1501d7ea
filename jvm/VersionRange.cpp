#include "jvm/VersionRange.h"

#include "base/TextUtil.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isVersionSeparator(char c) {
    return c == '.' || c == '_' || c == '-' || c == '+';
}

// A bound of a range: a version whose text is all digits and separators.
bool parseBound(SString text, std::vector<unsigned long>& version) {
    trim(text, whitespaceChars);
    if (text.empty() || !isDigit(text.c_str()[0])) {
        return false;
    }
    for (SString::size_type i = 0; i < text.length(); ++i) {
        char c = text.c_str()[i];
        if (!isDigit(c) && !isVersionSeparator(c)) {
            return false;
        }
    }
    version = VersionRange::parseVersion(text);
    return true;
}

}  // namespace

bool VersionRange::looksLikeRange(const SString& text) {
    if (text.length() < 2) {
        return false;
    }
    char first = text.c_str()[0];
    char last = text.c_str()[text.length() - 1];
    return (first == '[' || first == '(') && (last == ']' || last == ')');
}

std::vector<unsigned long> VersionRange::parseVersion(const SString& text) {
    std::vector<unsigned long> parts;
    const char* c = text.c_str();
    const char* end = c + text.length();
    while (c < end && isDigit(*c)) {
        unsigned long value = 0;
        for (; c < end && isDigit(*c); ++c) {
            // Saturate rather than wrap on absurdly long numbers.
            value =
                value > 100000000000UL ? value : value * 10 + static_cast<unsigned long>(*c - '0');
        }
        parts.push_back(value);
        // Skip what follows the digits up to the next separator ("9-ea", "17.0.1b").
        while (c < end && !isVersionSeparator(*c)) {
            ++c;
        }
        if (c < end) {
            ++c;
        }
    }
    if (parts.size() >= 2 && parts[0] == 1) {
        parts.erase(parts.begin());
    }
    return parts;
}

int VersionRange::compareVersions(const std::vector<unsigned long>& a,
                                  const std::vector<unsigned long>& b) {
    size_t count = a.size() > b.size() ? a.size() : b.size();
    for (size_t i = 0; i < count; ++i) {
        unsigned long left = i < a.size() ? a[i] : 0;
        unsigned long right = i < b.size() ? b[i] : 0;
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}

bool VersionRange::parse(const SString& text) {
    if (!looksLikeRange(text)) {
        return false;
    }
    char open = text.c_str()[0];
    char close = text.c_str()[text.length() - 1];
    SString inside = text.substr(1, text.length() - 2);
    SString::size_type comma = inside.find(',');
    if (comma == SString::npos) {
        // "[17]": exactly one version.
        if (open != '[' || close != ']' || !parseBound(inside, m_lower)) {
            return false;
        }
        m_upper = m_lower;
        m_hasLower = m_hasUpper = true;
        m_lowerInclusive = m_upperInclusive = true;
        return true;
    }
    if (inside.find(',', comma + 1) != SString::npos) {
        return false;
    }
    SString lower = inside.substr(0, comma);
    SString upper = inside.substr(comma + 1);
    trim(lower, whitespaceChars);
    trim(upper, whitespaceChars);
    m_hasLower = !lower.empty();
    m_hasUpper = !upper.empty();
    if ((m_hasLower && !parseBound(lower, m_lower)) ||
        (m_hasUpper && !parseBound(upper, m_upper))) {
        return false;
    }
    m_lowerInclusive = open == '[';
    m_upperInclusive = close == ']';
    return true;
}

bool VersionRange::contains(const SString& version) const {
    std::vector<unsigned long> parts = parseVersion(version);
    if (parts.empty()) {
        return false;
    }
    if (m_hasLower) {
        int order = compareVersions(parts, m_lower);
        if (order < 0 || (order == 0 && !m_lowerInclusive)) {
            return false;
        }
    }
    if (m_hasUpper) {
        int order = compareVersions(parts, m_upper);
        if (order > 0 || (order == 0 && !m_upperInclusive)) {
            return false;
        }
    }
    return true;
}
