#include "platform/unix/MessageCatalog.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/unix/MessageTables.h"

namespace {

// The codeset each language's texts were traditionally printed in, by table index.
const char* const kTraditionalCodesets[kLocaleCount] = {
    "ISO-8859-1",  // en
    "ISO-8859-2",  // cs
    "ISO-8859-1",  // da
    "ISO-8859-1",  // de
    "ISO-8859-7",  // el
    "ISO-8859-1",  // es
    "ISO-8859-1",  // fi
    "ISO-8859-1",  // fr
    "ISO-8859-2",  // hu
    "ISO-8859-1",  // it
    "EUC-JP",      // ja
    "EUC-KR",      // ko
    "ISO-8859-1",  // nl
    "ISO-8859-1",  // no
    "ISO-8859-2",  // pl
    "ISO-8859-1",  // pt
    "ISO-8859-1",  // pt_BR
    "ISO-8859-5",  // ru
    "ISO-8859-1",  // sv
    "ISO-8859-9",  // tr
    "GB2312",      // zh
    "BIG5",        // zh_TW
};

bool isUtf8Name(const SString& codeset) {
    SString folded;
    for (SString::size_type i = 0; i < codeset.length(); ++i) {
        char c = codeset.c_str()[i];
        if (c != '-' && c != '_') {
            folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    return folded.compare("UTF8") == 0;
}

bool isAscii(const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Owns one conversion descriptor.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (valid()) {
            iconv_close(m_cd);
        }
    }
    // iconv_open reports failure as (iconv_t)-1, an integer cast to a pointer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the value iconv's interface defines.
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all input; an input unit the target cannot hold (or cannot decode) is replaced
    // by "?" and skipped, unitSize bytes at a time for fixed-width input, or one UTF-8
    // sequence for UTF-8 input.
    SString convert(const char* input, size_t length, bool utf8Input) {
        SString result;
        char* in = const_cast<char*>(input);
        size_t inLeft = length;
        char buffer[1024];
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(m_cd, &in, &inLeft, &out, &outLeft);
            result.append(buffer, static_cast<SString::size_type>(out - buffer));
            if (rc != static_cast<size_t>(-1)) {
                continue;
            }
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL: replace one input character.
            size_t skip = utf8Input ? utf8SequenceLength(in, inLeft) : sizeof(wchar_t);
            if (skip > inLeft) {
                skip = inLeft;
            }
            in += skip;
            inLeft -= skip;
            result += '?';
        }
        flush(result);
        return result;
    }

private:
    static size_t utf8SequenceLength(const char* at, size_t left) {
        unsigned char lead = static_cast<unsigned char>(*at);
        size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        // Stop early at a byte that cannot continue the sequence.
        for (size_t i = 1; i < length && i < left; ++i) {
            if ((static_cast<unsigned char>(at[i]) & 0xC0) != 0x80) {
                return i;
            }
        }
        return length;
    }

    void flush(SString& result) {
        char buffer[64];
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, &out, &outLeft);
        result.append(buffer, static_cast<SString::size_type>(out - buffer));
    }

    iconv_t m_cd;
};

// A codeset whose text holds NUL bytes (UTF-16, UTF-32 and their kin) cannot be written to
// a console through C strings: every message would end at its first character. Plain ASCII
// shows it, as every byte-oriented codeset keeps ASCII free of NULs.
bool writesNulBytes(const SString& codeset) {
    static const char kSample[] = "Aa0 ";
    Converter converter(codeset.c_str(), "UTF-8");
    if (!converter.valid()) {
        return false;
    }
    SString converted = converter.convert(kSample, sizeof kSample - 1, true);
    return converted.empty() || std::memchr(converted.c_str(), '\0', converted.length()) != nullptr;
}

SString formatMessage(const char* text, const char* arg) {
    SString formatted(text);
    SString::size_type placeholder = formatted.find("%s");
    if (placeholder != SString::npos) {
        formatted.replace(placeholder, 2, arg == nullptr ? "" : arg);
    }
    return formatted;
}

}  // namespace

int get_locale() {
    const char* lang = std::getenv("LANG");
    if (lang == nullptr || std::strcmp(lang, "C") == 0) {
        return 0;
    }
    for (int i = 0; i < kLocaleCount; ++i) {
        if (std::strncmp(msg_locale_table[i][0], lang, 5) == 0) {
            return i;
        }
    }
    for (int i = 0; i < kLocaleCount; ++i) {
        const char* code = msg_locale_table[i][0];
        if (std::strncmp(code, lang, std::strlen(code)) == 0) {
            return i;
        }
    }
    return 0;
}

SString consoleCodeset() {
    const char* lang = std::getenv("LANG");
    if (lang != nullptr) {
        const char* dot = std::strchr(lang, '.');
        if (dot != nullptr) {
            const char* end = std::strchr(dot + 1, '@');
            size_t length =
                end == nullptr ? std::strlen(dot + 1) : static_cast<size_t>(end - dot - 1);
            if (length > 0) {
                SString named(dot + 1, static_cast<SString::size_type>(length));
                return isUtf8Name(named) || writesNulBytes(named) ? SString() : named;
            }
        }
    }
    return SString(kTraditionalCodesets[get_locale()]);
}

SString toConsoleEncoding(const SString& utf8) {
    if (isAscii(utf8.c_str(), utf8.length())) {
        return utf8;
    }
    SString codeset = consoleCodeset();
    if (codeset.empty()) {
        return utf8;
    }
    Converter converter(codeset.c_str(), "UTF-8");
    if (!converter.valid()) {
        return utf8;
    }
    return converter.convert(utf8.c_str(), utf8.length(), true);
}

SString wideToConsoleEncoding(const wchar_t* wide) {
    SString codeset = consoleCodeset();
    Converter converter(codeset.empty() ? "UTF-8" : codeset.c_str(), "WCHAR_T");
    SString result;
    const wchar_t* run = wide;
    for (const wchar_t* w = wide;; ++w) {
        bool rawByte = *w < 0;
        if (*w != 0 && !rawByte) {
            continue;
        }
        if (w > run) {
            size_t runBytes = static_cast<size_t>(w - run) * sizeof(wchar_t);
            if (converter.valid()) {
                result += converter.convert(reinterpret_cast<const char*>(run), runBytes, false);
            } else {
                for (const wchar_t* c = run; c < w; ++c) {
                    result += *c < 0x80 ? static_cast<char>(*c) : '?';
                }
            }
        }
        if (*w == 0) {
            break;
        }
        // A byte that convertToUnicode sign-extended: it already is in the user's encoding.
        result += static_cast<char>(*w);
        run = w + 1;
    }
    return result;
}

SString get_msg(int id, const char* arg) {
    if (id < 0 || id > kMessageCount) {
        char text[64];
        // NOLINTNEXTLINE(cert-err33-c): 64 bytes hold the text with any int; nothing is cut.
        std::snprintf(text, sizeof text, "Error displaying message: id(%d)", id);
        return SString(text);
    }
    const char* const* table = msg_locale_table[get_locale()];
    const char* text = nullptr;
    // A table may end before the last message; the English text stands in then.
    for (int i = 0; i <= id; ++i) {
        if (table[i] == nullptr) {
            table = msg_locale_table[0];
            break;
        }
    }
    text = table[id];
    return formatMessage(toConsoleEncoding(SString(text)).c_str(), arg);
}
