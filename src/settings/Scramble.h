#pragma once
// The reversible scrambling that keeps the two passwords of the settings file from being read
// at a glance. It is not encryption (there is no key): a 42-byte block of random filler with the
// text, its length bits and two running XOR counters woven in.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cq {

/// Size of a scrambled block in bytes (stored as 84 hexadecimal digits).
inline constexpr size_t kScrambledBlockSize = 42;
/// The longest text (in Windows-1251 bytes) a block can hold: the length has five bits.
inline constexpr size_t kMaxScrambledLength = 31;

/// True when `text` can be scrambled: every character exists in Windows-1251 and the text has
/// at most kMaxScrambledLength of them.
bool CanScramble(const std::string& text);

/// The 42-byte block holding the Windows-1251 bytes of `text`, with filler drawn from a random
/// source. Raises Exception when !CanScramble(text): a longer text is never cut.
std::vector<uint8_t> ScramblePassword(const std::string& text);
/// The same with the filler bytes taken from `filler`, one call per byte from byte 0 up.
std::vector<uint8_t> ScramblePassword(const std::string& text,
                                      const std::function<uint8_t()>& filler);

/// The text held by a block (UTF-8); `defaultText` when the block is shorter than 42 bytes.
/// Longer blocks are read with the text centred in what follows byte 2.
std::string UnscramblePassword(const std::vector<uint8_t>& bytes, const std::string& defaultText);

} // namespace cq
