#include "base/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// The published test vectors, and the same input fed in uneven pieces across block bounds.
TEST(Sha256Test, MatchesTheStandardVectorsWhateverThePieces) {
    const struct {
        std::string input;
        const char* digest;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& vector : vectors) {
        EXPECT_EQ(Sha256::of(vector.input), vector.digest);
        Sha256 pieces;
        for (size_t at = 0, step = 1; at < vector.input.size(); at += step, step = step * 2 + 1) {
            pieces.add(vector.input.data() + at, std::min(step, vector.input.size() - at));
        }
        EXPECT_EQ(pieces.hexDigest(), vector.digest);
    }
}

}  // namespace
