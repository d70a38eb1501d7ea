#include "base/SString.h"

#include <new>

void _Xlen() {
    throw LengthException();
}
void _Xran() {
    throw RangeException();
}

namespace {

// Fresh buffers are sized 32k - 1 so that small appends do not reallocate each time.
const SString::size_type kMinSize = 31;

char g_nullString[1] = {'\0'};

char* allocateBuffer(SString::size_type& capacity, SString::size_type wanted) {
    try {
        return new char[static_cast<std::size_t>(capacity) + 2];
    } catch (const std::bad_alloc&) {
        capacity = wanted;
        return new char[static_cast<std::size_t>(capacity) + 2];
    }
}

}  // namespace

char* SString::nullString() {
    g_nullString[0] = '\0';
    return g_nullString;
}

SString::SString(const SString& other) {
    tidy();
    assign(other, 0, npos);
}

SString::SString(const SString& other, size_type pos, size_type n) {
    tidy();
    assign(other, pos, n);
}

SString::SString(const char* s, size_type n) {
    tidy();
    assign(s, n);
}

SString::SString(const char* s) {
    tidy();
    assign(s);
}

SString::SString(size_type n, char c) {
    tidy();
    assign(n, c);
}

SString::SString(SString&& other) noexcept
    : m_ptr(other.m_ptr), m_len(other.m_len), m_res(other.m_res) {
    other.tidy();
}

SString::~SString() {
    tidy(true);
}

SString& SString::operator=(SString&& other) noexcept {
    if (this != &other) {
        tidy(true);
        m_ptr = other.m_ptr;
        m_len = other.m_len;
        m_res = other.m_res;
        other.tidy();
    }
    return *this;
}

bool SString::isShared() const {
    return m_ptr != nullptr && shareByte() != 0 && shareByte() != kFrozen;
}

// A pointer argument that points into our own buffer would dangle once the buffer is
// reallocated or would see bytes already moved, so such arguments are copied first.
bool SString::aliases(const char* s) const {
    return m_ptr != nullptr && s >= m_ptr && s <= m_ptr + m_res;
}

void SString::setEnd(size_type n) {
    m_len = n;
    m_ptr[n] = '\0';
}

void SString::tidy(bool built) noexcept {
    if (built && m_ptr != nullptr) {
        unsigned char& share = shareByte();
        if (share == 0 || share == kFrozen) {
            delete[](m_ptr - 1);
        } else {
            --share;
        }
    }
    m_ptr = nullptr;
    m_len = 0;
    m_res = 0;
}

void SString::copyTo(size_type n) {
    size_type newCapacity = n | kMinSize;
    if (max_size() < newCapacity) {
        newCapacity = n;
    }
    char* buffer = allocateBuffer(newCapacity, n);
    size_type keep = m_len > newCapacity ? newCapacity : m_len;
    if (keep > 0) {
        CharTraits::copy(buffer + 1, m_ptr, keep);
    }
    tidy(true);
    buffer[0] = 0;
    m_ptr = buffer + 1;
    m_res = newCapacity;
    setEnd(keep);
}

bool SString::grow(size_type n, bool trim) {
    if (max_size() < n) {
        _Xlen();
    }
    if (isShared()) {
        if (n == 0) {
            tidy(true);
            return false;
        }
        copyTo(n);
        return true;
    }
    if (n == 0) {
        if (trim) {
            tidy(true);
        } else if (m_ptr != nullptr) {
            setEnd(0);
        }
        return false;
    }
    if (trim && (kMinSize < m_res || m_res < n)) {
        tidy(true);
        copyTo(n);
    } else if (!trim && m_res < n) {
        // A string that outgrows its buffer mostly grows on: taking half as much room again
        // keeps one built by many appends (a long class path) from being copied at every step.
        std::uint64_t grown = static_cast<std::uint64_t>(m_res) + m_res / 2;
        copyTo(grown > n && grown <= max_size() ? static_cast<size_type>(grown) : n);
    }
    return true;
}

void SString::freeze() {
    if (isShared()) {
        copyTo(m_len);
    }
    if (m_ptr != nullptr) {
        shareByte() = kFrozen;
    }
}

void SString::split() {
    if (isShared()) {
        copyTo(m_len);
    }
}

SString& SString::assign(const SString& other, size_type pos, size_type n) {
    if (other.size() < pos) {
        _Xran();
    }
    size_type count = other.size() - pos;
    if (n < count) {
        count = n;
    }
    if (this == &other) {
        erase(pos + count);
        erase(0, pos);
    } else if (count > 0 && count == other.size() && other.shareByte() < kFrozen - 1) {
        tidy(true);
        m_ptr = other.m_ptr;
        m_len = other.m_len;
        m_res = other.m_res;
        ++shareByte();
    } else {
        assign(other.c_str() + pos, count);
    }
    return *this;
}

SString& SString::assign(const char* s, size_type n) {
    if (n > 0 && aliases(s)) {
        SString copyOfArgument(s, n);
        return assign(copyOfArgument.m_ptr, n);
    }
    if (grow(n, true)) {
        CharTraits::copy(m_ptr, s, n);
        setEnd(n);
    }
    return *this;
}

SString& SString::assign(size_type n, char c) {
    if (n == npos) {
        _Xlen();
    }
    if (grow(n, true)) {
        CharTraits::assign(m_ptr, n, c);
        setEnd(n);
    }
    return *this;
}

SString& SString::append(const SString& other, size_type pos, size_type n) {
    if (other.size() < pos) {
        _Xran();
    }
    size_type count = other.size() - pos;
    if (count < n) {
        n = count;
    }
    return append(other.c_str() + pos, n);
}

SString& SString::append(const char* s, size_type n) {
    if (npos - m_len <= n) {
        _Xlen();
    }
    if (n > 0 && aliases(s)) {
        SString copyOfArgument(s, n);
        return append(copyOfArgument.m_ptr, n);
    }
    size_type newLength = m_len + n;
    if (n > 0 && grow(newLength)) {
        CharTraits::copy(m_ptr + m_len, s, n);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::append(size_type n, char c) {
    if (npos - m_len <= n) {
        _Xlen();
    }
    size_type newLength = m_len + n;
    if (n > 0 && grow(newLength)) {
        CharTraits::assign(m_ptr + m_len, n, c);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::insert(size_type pos, const SString& other, size_type pos2, size_type n) {
    if (m_len < pos || other.size() < pos2) {
        _Xran();
    }
    size_type count = other.size() - pos2;
    if (count < n) {
        n = count;
    }
    return insert(pos, other.c_str() + pos2, n);
}

SString& SString::insert(size_type pos, const char* s, size_type n) {
    if (m_len < pos) {
        _Xran();
    }
    if (npos - m_len <= n) {
        _Xlen();
    }
    if (n > 0 && aliases(s)) {
        SString copyOfArgument(s, n);
        return insert(pos, copyOfArgument.m_ptr, n);
    }
    size_type newLength = m_len + n;
    if (n > 0 && grow(newLength)) {
        CharTraits::move(m_ptr + pos + n, m_ptr + pos, m_len - pos);
        CharTraits::copy(m_ptr + pos, s, n);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::insert(size_type pos, size_type n, char c) {
    if (m_len < pos) {
        _Xran();
    }
    if (npos - m_len <= n) {
        _Xlen();
    }
    size_type newLength = m_len + n;
    if (n > 0 && grow(newLength)) {
        CharTraits::move(m_ptr + pos + n, m_ptr + pos, m_len - pos);
        CharTraits::assign(m_ptr + pos, n, c);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::replace(size_type pos, size_type n, const SString& other, size_type pos2,
                          size_type m) {
    if (m_len < pos || other.size() < pos2) {
        _Xran();
    }
    size_type count = other.size() - pos2;
    if (count < m) {
        m = count;
    }
    return replace(pos, n, other.c_str() + pos2, m);
}

SString& SString::replace(size_type pos, size_type n, const char* s, size_type m) {
    if (m_len < pos) {
        _Xran();
    }
    if (m_len - pos < n) {
        n = m_len - pos;
    }
    if (npos - m <= m_len - n) {
        _Xlen();
    }
    if (m > 0 && aliases(s)) {
        SString copyOfArgument(s, m);
        return replace(pos, n, copyOfArgument.m_ptr, m);
    }
    split();
    size_type tail = m_len - n - pos;
    if (m < n) {
        CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
    }
    size_type newLength = m_len + m - n;
    if ((m > 0 || n > 0) && grow(newLength)) {
        if (n < m) {
            CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
        }
        CharTraits::copy(m_ptr + pos, s, m);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::replace(size_type pos, size_type n, size_type m, char c) {
    if (m_len < pos) {
        _Xran();
    }
    if (m_len - pos < n) {
        n = m_len - pos;
    }
    if (npos - m <= m_len - n) {
        _Xlen();
    }
    split();
    size_type tail = m_len - n - pos;
    if (m < n) {
        CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
    }
    size_type newLength = m_len + m - n;
    if ((m > 0 || n > 0) && grow(newLength)) {
        if (n < m) {
            CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
        }
        CharTraits::assign(m_ptr + pos, m, c);
        setEnd(newLength);
    }
    return *this;
}

SString& SString::erase(size_type pos, size_type n) {
    if (m_len < pos) {
        _Xran();
    }
    split();
    if (m_len - pos < n) {
        n = m_len - pos;
    }
    if (n > 0) {
        CharTraits::move(m_ptr + pos, m_ptr + pos + n, m_len - pos - n);
        size_type newLength = m_len - n;
        if (grow(newLength)) {
            setEnd(newLength);
        }
    }
    return *this;
}

char& SString::at(size_type i) {
    if (m_len <= i) {
        _Xran();
    }
    freeze();
    return m_ptr[i];
}

const char& SString::at(size_type i) const {
    if (m_len <= i) {
        _Xran();
    }
    return m_ptr[i];
}

char& SString::operator[](size_type i) {
    if (m_ptr == nullptr || m_len < i) {
        return *nullString();
    }
    freeze();
    return m_ptr[i];
}

const char& SString::operator[](size_type i) const {
    return m_ptr == nullptr ? *nullString() : m_ptr[i];
}

void SString::resize(size_type n, char c) {
    if (n <= m_len) {
        erase(n);
    } else {
        append(n - m_len, c);
    }
}

void SString::reserve(size_type n) {
    if (m_res < n) {
        grow(n);
    }
}

SString::size_type SString::copy(char* dest, size_type n, size_type pos) const {
    if (m_len < pos) {
        _Xran();
    }
    if (m_len - pos < n) {
        n = m_len - pos;
    }
    if (n > 0) {
        CharTraits::copy(dest, m_ptr + pos, n);
    }
    return n;
}

SString::size_type SString::find(const char* s, size_type pos, size_type n) const {
    if (n == 0) {
        return pos <= m_len ? pos : npos;
    }
    if (pos < m_len && n <= m_len - pos) {
        const char* start = m_ptr + pos;
        size_type remaining = m_len - pos - (n - 1);
        const char* hit;
        while ((hit = CharTraits::find(start, remaining, *s)) != nullptr) {
            if (CharTraits::compare(hit, s, n) == 0) {
                return static_cast<size_type>(hit - m_ptr);
            }
            remaining -= static_cast<size_type>(hit - start) + 1;
            start = hit + 1;
        }
    }
    return npos;
}

SString::size_type SString::rfind(const char* s, size_type pos, size_type n) const {
    if (n == 0) {
        return pos < m_len ? pos : m_len;
    }
    if (n <= m_len) {
        for (const char* candidate = m_ptr + (pos < m_len - n ? pos : m_len - n);; --candidate) {
            if (*candidate == *s && CharTraits::compare(candidate, s, n) == 0) {
                return static_cast<size_type>(candidate - m_ptr);
            }
            if (candidate == m_ptr) {
                break;
            }
        }
    }
    return npos;
}

SString::size_type SString::find_first_of(const char* s, size_type pos, size_type n) const {
    if (n > 0 && pos < m_len) {
        for (size_type i = pos; i < m_len; ++i) {
            if (CharTraits::find(s, n, m_ptr[i]) != nullptr) {
                return i;
            }
        }
    }
    return npos;
}

SString::size_type SString::find_last_of(const char* s, size_type pos, size_type n) const {
    if (n > 0 && m_len > 0) {
        for (size_type i = pos < m_len ? pos : m_len - 1;; --i) {
            if (CharTraits::find(s, n, m_ptr[i]) != nullptr) {
                return i;
            }
            if (i == 0) {
                break;
            }
        }
    }
    return npos;
}

SString::size_type SString::find_first_not_of(const char* s, size_type pos, size_type n) const {
    if (n > 0 && pos < m_len) {
        for (size_type i = pos; i < m_len; ++i) {
            if (CharTraits::find(s, n, m_ptr[i]) == nullptr) {
                return i;
            }
        }
    }
    return npos;
}

SString::size_type SString::find_last_not_of(const char* s, size_type pos, size_type n) const {
    if (n > 0 && m_len > 0) {
        for (size_type i = pos < m_len ? pos : m_len - 1;; --i) {
            if (CharTraits::find(s, n, m_ptr[i]) == nullptr) {
                return i;
            }
            if (i == 0) {
                break;
            }
        }
    }
    return npos;
}

int SString::compare(size_type pos, size_type n, const SString& s, size_type pos2,
                     size_type m) const {
    if (s.size() < pos2) {
        _Xran();
    }
    if (s.size() - pos2 < m) {
        m = s.size() - pos2;
    }
    return compare(pos, n, s.c_str() + pos2, m);
}

int SString::compare(size_type pos, size_type n, const char* s, size_type m) const {
    if (m_len < pos) {
        _Xran();
    }
    if (m_len - pos < n) {
        n = m_len - pos;
    }
    int result = CharTraits::compare(c_str() + pos, s, n < m ? n : m);
    if (result != 0) {
        return result;
    }
    return n < m ? -1 : (n == m ? 0 : 1);
}
