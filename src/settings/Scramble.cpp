#include "settings/Scramble.h"

#include "base/Errors.h"
#include "base/SecretBytes.h"
#include "base/TextCodec.h"
#include "base/Translate.h"

#include <openssl/crypto.h>
#include <random>

namespace cq {
namespace {

constexpr size_t kFirstMaskedByte = 3;

uint8_t Bit(size_t value, int bit) {
    return static_cast<uint8_t>((value >> bit) & 1U);
}

void PutLengthBits(std::vector<uint8_t>& block, size_t length) {
    block[0] = static_cast<uint8_t>((block[0] & 0xDD) | Bit(length, 3) << 5 | Bit(length, 2) << 1);
    block[1] = static_cast<uint8_t>((block[1] & 0xDD) | Bit(length, 1) << 5 | Bit(length, 0) << 1);
    block[2] = static_cast<uint8_t>((block[2] & 0xFD) | Bit(length, 4) << 1);
}

size_t GetLengthBits(const std::vector<uint8_t>& block) {
    return static_cast<size_t>(Bit(block[0], 5) << 3 | Bit(block[0], 1) << 2 |
                               Bit(block[1], 5) << 1 | Bit(block[1], 1) | Bit(block[2], 1) << 4);
}

// XORs bytes 3 onwards with the two counters formed from bytes 1 and 2: odd positions with a
// counter that steps down, even positions with one that steps up. Applying it twice undoes it.
void MaskBlock(std::vector<uint8_t>& block) {
    auto a = static_cast<uint8_t>((block[2] & 0xF0) | (block[1] >> 4));
    auto d = static_cast<uint8_t>(((block[1] & 0x0F) << 4) | (block[2] & 0x0F));
    for (size_t i = kFirstMaskedByte; i < block.size(); ++i) {
        if (i % 2 == 1)
            block[i] ^= --a;
        else
            block[i] ^= ++d;
    }
}

uint8_t RandomFiller() {
    static std::random_device device;
    return static_cast<uint8_t>(device() & 0xFF);
}

} // namespace

bool CanScramble(const std::string& text) {
    std::string bytes = ToCp1251(text);
    WipeOnExit wipe{bytes};
    std::string back = FromCp1251(bytes);
    WipeOnExit wipeBack{back};
    return bytes.size() <= kMaxScrambledLength && back == text;
}

std::vector<uint8_t> ScramblePassword(const std::string& text) {
    return ScramblePassword(text, RandomFiller);
}

std::vector<uint8_t> ScramblePassword(const std::string& text,
                                      const std::function<uint8_t()>& filler) {
    if (!CanScramble(text))
        throw Exception(TrFormat("Пароль длиннее %1 символа или содержит символы вне кодировки "
                                 "Windows-1251: сохранить его в файле настроек нельзя.",
                                 {std::to_string(kMaxScrambledLength)}));
    std::string bytes = ToCp1251(text);
    WipeOnExit wipe{bytes};
    std::vector<uint8_t> block(kScrambledBlockSize);
    for (uint8_t& byte : block)
        byte = filler();
    const size_t start =
        kFirstMaskedByte + (kScrambledBlockSize - kFirstMaskedByte - bytes.size()) / 2;
    for (size_t i = 0; i < bytes.size(); ++i)
        block[start + i] = static_cast<uint8_t>(bytes[i]);
    PutLengthBits(block, bytes.size());
    MaskBlock(block);
    return block;
}

std::string UnscramblePassword(const std::vector<uint8_t>& bytes, const std::string& defaultText) {
    if (bytes.size() < kScrambledBlockSize)
        return defaultText;
    std::vector<uint8_t> block = bytes;
    MaskBlock(block);
    const size_t length = GetLengthBits(block);
    const size_t start = kFirstMaskedByte + (block.size() - kFirstMaskedByte - length) / 2;
    std::string text(block.begin() + static_cast<std::ptrdiff_t>(start),
                     block.begin() + static_cast<std::ptrdiff_t>(start + length));
    WipeOnExit wipe{text};
    OPENSSL_cleanse(block.data(), block.size());
    return FromCp1251(text);
}

} // namespace cq
