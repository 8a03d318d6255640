#include "records/Sha256.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string hex(const Sha256::Digest& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

// Fed in pieces of `piece` bytes, so that pieces straddle the 64-byte blocks.
std::string digestOf(std::string_view text, std::size_t piece) {
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    Sha256 sha;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        sha.update(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
    }
    return hex(sha.finish());
}

} // namespace

TEST(Sha256, KnownDigestsAcrossTheEdgesOfItsPadding) {
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 55 bytes: the length still fits the one block; 56: it takes a second.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(digestOf(c.text, c.text.size() + 1), c.digest) << c.text.size();
        EXPECT_EQ(digestOf(c.text, 997), c.digest) << c.text.size();
    }
}
