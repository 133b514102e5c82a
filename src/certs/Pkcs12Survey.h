#pragma once
// What a PKCS#12 file holds and what opening it would cost, told before any key is derived. Each
// MAC, encrypted safe and shrouded key bag names its own iteration count, and a hostile or damaged
// file can name 2^31: with HMAC-Streebog-512 that is hours of work before a "wrong password" comes
// out.
//
// Bound: at most 600 000 iterations for one derivation and 1 800 000 for the whole file (three
// derivations: the MAC, the certificates' safe and the key bag). 600 000 is the highest count
// current password guidance asks for PBKDF2, so every file a program following it writes opens;
// the programs we know write 2 000 to 10 000. With Streebog-512 at about 18 µs an iteration here,
// a file at the bound takes about 30 s; one beyond it is refused at once.

#include <openssl/pkcs12.h>

#include <cstddef>
#include <string>

namespace cq {

inline constexpr long kMaxPkcs12Iterations = 600000;
inline constexpr long kMaxPkcs12TotalIterations = 3 * kMaxPkcs12Iterations;

struct Pkcs12Survey {
    /// Private keys seen (plain and shrouded key bags), those in encrypted safes included when
    /// the safe opened with the password.
    size_t keys = 0;
    /// Of those, the keys in plain key bags, under no password.
    size_t plainKeys = 0;
};

/// True when a safe or a key bag of the file is encrypted with an algorithm that OpenSSL keeps
/// in its legacy provider (RC2, RC4, single DES): the protection "openssl pkcs12 -legacy"
/// writes, and older systems' exports.
bool NamesLegacyAlgorithm(const PKCS12* file);

/// What in the file this reader does not support, in the user's words ("" when nothing): a
/// file protected by a public key instead of a password, or a safe encrypted for a recipient.
std::string UnsupportedPkcs12Protection(const PKCS12* file);

/// Looks through the file. Raises Exception naming the count and the bound when a derivation
/// asks for more than `bound` (kMaxPkcs12Iterations) or all of them for more than three times
/// that (kMaxPkcs12TotalIterations). Encrypted safes within the bound are decrypted with `password`
/// to see the bags in them; one that does not decrypt is left to the reader, which then fails
/// without deriving more.
Pkcs12Survey SurveyPkcs12(const PKCS12* file, const std::string& password,
                          long bound = kMaxPkcs12Iterations);

} // namespace cq
