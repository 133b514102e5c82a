#include "certs/KeyFile.h"

#include "base/StringUtil.h"
#include "certs/DerReader.h"
#include "certs/PemArmour.h"
#include "certs/SslOwners.h"

#include <array>
#include <openssl/crypto.h>
#include <optional>
#include <vector>

namespace cq {
namespace {

constexpr std::string_view kBeginPrefix = "-----BEGIN ";
constexpr std::string_view kEndPrefix = "-----END";
constexpr std::string_view kDashes = "-----";
constexpr size_t kDesBlock = 8;

/// Lines of a text; a line ends at CR LF, at a lone LF or at a lone CR.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::string_view TrimmedRight(std::string_view line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ')
        line.remove_suffix(1);
    return line;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

/// Strict Base64 over the body lines: blanks are skipped, "=" may only complete the last group.
bool DecodeBase64(const std::vector<std::string_view>& lines, SecretBytes& out) {
    uint32_t group = 0;
    int inGroup = 0;
    int padding = 0;
    for (std::string_view line : lines) {
        for (char c : line) {
            if (c == ' ' || c == '\t')
                continue;
            if (c == '=') {
                if (inGroup < 2 || ++padding + inGroup > 4)
                    return false;
                continue;
            }
            const int value = Base64Value(c);
            if (value < 0 || padding > 0)
                return false;
            group = (group << 6) | static_cast<uint32_t>(value);
            if (++inGroup < 4)
                continue;
            const char bytes[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                                   static_cast<char>(group)};
            out.append(std::string_view(bytes, 3));
            OPENSSL_cleanse(&group, sizeof group);
            inGroup = 0;
        }
    }
    if (inGroup == 0)
        return padding == 0;
    if (inGroup + padding != 4)
        return false;
    group <<= 6 * (4 - inGroup);
    const char bytes[2] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8)};
    out.append(std::string_view(bytes, static_cast<size_t>(inGroup - 1)));
    OPENSSL_cleanse(&group, sizeof group);
    return true;
}

std::optional<std::array<unsigned char, kDesBlock>> ParseVector(std::string_view hex) {
    if (hex.size() != 2 * kDesBlock)
        return std::nullopt;
    std::array<unsigned char, kDesBlock> vector{};
    for (size_t i = 0; i < hex.size(); ++i) {
        const int digit = OPENSSL_hexchar2int(static_cast<unsigned char>(hex[i]));
        if (digit < 0)
            return std::nullopt;
        vector[i / 2] = static_cast<unsigned char>(vector[i / 2] * 16 + digit);
    }
    return vector;
}

struct Encryption {
    std::string cipher;
    std::array<unsigned char, kDesBlock> vector{};
};

/// The cipher and vector of a "DEK-Info:" value; nothing when either is unusable.
std::optional<Encryption> ParseDekInfo(std::string_view value, std::string& cipherName) {
    const size_t comma = value.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    cipherName = Trim(value.substr(0, comma));
    if (cipherName != "DES-EDE3-CBC" && cipherName != "DES-CBC")
        return std::nullopt;
    const auto vector = ParseVector(Trim(value.substr(comma + 1)));
    if (!vector)
        return std::nullopt;
    return Encryption{cipherName, *vector};
}

/// Decrypts in CBC mode without padding removal; false when the cipher is unavailable.
bool DecryptCbc(const Encryption& encryption, std::string_view passwordBytes,
                const SecretBytes& encrypted, SecretBytes& plain) {
    const ssl::Cipher cipher = ssl::FetchCipher(encryption.cipher.c_str());
    if (!cipher)
        return false;
    std::array<unsigned char, EVP_MAX_KEY_LENGTH> key{};
    const bool derived =
        ssl::DerivePemKey(cipher.get(), passwordBytes, encryption.vector.data(), key.data());
    const ssl::CipherContext context(EVP_CIPHER_CTX_new());
    plain.resize(encrypted.size() + kDesBlock);
    int written = 0;
    int finalWritten = 0;
    const bool ok =
        derived && context &&
        EVP_DecryptInit_ex(context.get(), cipher.get(), nullptr, key.data(),
                           encryption.vector.data()) == 1 &&
        EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
        EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &written,
                          reinterpret_cast<const unsigned char*>(encrypted.data()),
                          static_cast<int>(encrypted.size())) == 1 &&
        EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(plain.data()) + written,
                            &finalWritten) == 1;
    OPENSSL_cleanse(key.data(), key.size());
    ssl::DrainErrors();
    plain.truncate(ok ? static_cast<size_t>(written + finalWritten) : 0);
    return ok;
}

/// Removes the padding: 1 to 8 final bytes, each holding their count. False when they do not
/// fit, which is what a wrong password gives in all but a few cases.
bool RemovePadding(SecretBytes& plain) {
    if (plain.empty())
        return false;
    const auto count = static_cast<unsigned char>(plain.str().back());
    if (count < 1 || count > kDesBlock || count > plain.size())
        return false;
    for (size_t i = plain.size() - count; i < plain.size(); ++i)
        if (static_cast<unsigned char>(plain.str()[i]) != count)
            return false;
    plain.truncate(plain.size() - count);
    return true;
}

/// Index of the BEGIN line, and the label it opens.
std::optional<size_t> FindBegin(const std::vector<std::string_view>& lines, std::string_view label,
                                std::string& foundLabel) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (!StartsWith(line, kBeginPrefix))
            continue;
        if (label.empty()) {
            const std::string_view rest = line.substr(kBeginPrefix.size());
            const size_t dashes = rest.find(kDashes);
            if (dashes == std::string_view::npos)
                return std::nullopt;
            foundLabel = rest.substr(0, dashes);
            return i;
        }
        if (TrimmedRight(line) == std::string(kBeginPrefix) + std::string(label) + "-----") {
            foundLabel = label;
            return i;
        }
    }
    return std::nullopt;
}

bool IsEndLine(std::string_view line, std::string_view label) {
    if (label.empty())
        return StartsWith(line, kEndPrefix);
    return TrimmedRight(line) == std::string(kEndPrefix) + " " + std::string(label) + "-----";
}

/// A block's lines as found: its label, the header lines (from "Proc-Type" up to the empty line
/// that ends them) with the encryption they name, and the body lines up to the END line.
struct BlockLines {
    std::string label;
    std::string cipher; ///< as DEK-Info names it, even when it is not one of ours
    std::vector<std::string_view> headers;
    std::optional<Encryption> encryption;
    std::vector<std::string_view> body;
};

/// The first block (of `label`, when given) with its headers and body; nothing when it has no
/// END line, or headers without a usable DEK-Info or without the empty line after them.
std::optional<BlockLines> FindBlock(std::string_view text, std::string_view label) {
    BlockLines block;
    const std::vector<std::string_view> lines = SplitLines(text);
    const auto begin = FindBegin(lines, label, block.label);
    if (!begin)
        return std::nullopt;
    size_t i = *begin + 1;
    if (i < lines.size() && StartsWith(lines[i], "Proc-Type")) {
        bool dekInfoSeen = false;
        for (; i < lines.size() && !Trim(lines[i]).empty(); ++i) {
            block.headers.push_back(lines[i]);
            if (!StartsWith(lines[i], "DEK-Info:"))
                continue;
            dekInfoSeen = true;
            block.encryption = ParseDekInfo(lines[i].substr(9), block.cipher);
        }
        if (!dekInfoSeen || !block.encryption || i == lines.size())
            return std::nullopt;
        ++i; // the empty line that ends the headers
    }
    for (; i < lines.size() && !IsEndLine(lines[i], label); ++i)
        block.body.push_back(lines[i]);
    if (i == lines.size())
        return std::nullopt;
    return block;
}

} // namespace

PemBlock DecodePemBlock(std::string_view text, std::string_view passwordBytes,
                        std::string_view label) {
    PemBlock block;
    const std::optional<BlockLines> lines = FindBlock(text, label);
    if (!lines)
        return block;
    block.label = lines->label;
    block.cipher = lines->cipher;
    SecretBytes decoded;
    if (!DecodeBase64(lines->body, decoded))
        return block;
    if (!lines->encryption) {
        block.bytes = std::move(decoded);
        block.status = PemDecodeStatus::Decoded;
        return block;
    }
    if (decoded.empty() || decoded.size() % kDesBlock != 0 ||
        !DecryptCbc(*lines->encryption, passwordBytes, decoded, block.bytes))
        return block;
    block.status =
        RemovePadding(block.bytes) ? PemDecodeStatus::Decoded : PemDecodeStatus::WrongPassword;
    if (block.status != PemDecodeStatus::Decoded)
        block.bytes.wipe();
    return block;
}

SecretBytes RewritePemBlock(std::string_view text, std::string_view label) {
    const std::optional<BlockLines> lines = FindBlock(text, label);
    SecretBytes body;
    if (!lines || !DecodeBase64(lines->body, body))
        return {};
    std::string headers;
    for (std::string_view header : lines->headers)
        headers.append(header).append("\n");
    return SecretBytes(PemArmour(lines->label, body.view(), headers));
}

Pkcs1Status ParseRsaPrivateKey(std::string_view der, RsaKeyNumbers& numbers) {
    der::Reader outer(der);
    const auto sequence = outer.next(der::tag::kSequence);
    if (!sequence || !outer.atEnd())
        return Pkcs1Status::NotPkcs1;
    der::Reader inner(sequence->content);
    std::array<std::string_view, 9> integers;
    for (std::string_view& integer : integers) {
        const auto element = inner.next(der::tag::kInteger);
        if (!element)
            return Pkcs1Status::NotPkcs1;
        integer = element->content;
    }
    if (!inner.atEnd() || integers[0] != std::string_view("\0", 1))
        return Pkcs1Status::NotPkcs1;
    if (integers[1].empty() || integers[2].empty() || integers[3].empty())
        return Pkcs1Status::NumbersUnreadable;
    numbers.modulus = SecretBytes(integers[1].data(), integers[1].size());
    numbers.publicExponent = SecretBytes(integers[2].data(), integers[2].size());
    numbers.privateExponent = SecretBytes(integers[3].data(), integers[3].size());
    return Pkcs1Status::Parsed;
}

} // namespace cq
