#ifndef QV_BASE_SHA256_H
#define QV_BASE_SHA256_H

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 over a stream of bytes (FIPS 180-4), for naming cached files by their content: two
// files with the same digest are taken to be the same file.
class Sha256 {
public:
    Sha256();
    void add(const void* bytes, size_t count);
    // The digest as 64 lower-case hex digits. Ends the stream: add must not be called after it.
    std::string hexDigest();

    // The digest of text in one call.
    static std::string of(const std::string& text);

private:
    void compressBlock(const unsigned char* block);

    std::uint32_t m_state[8];
    unsigned char m_block[64];
    size_t m_blockUsed = 0;
    std::uint64_t m_totalBytes = 0;
};

#endif  // QV_BASE_SHA256_H
