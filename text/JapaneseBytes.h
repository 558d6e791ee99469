// Whether bytes can be read in one of the Japanese encodings mail arrives
// in: Shift_JIS (CP932), EUC-JP and the escapes of ISO-2022-JP. The charset
// guessing of received mail asks these questions; none of them converts.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qf::text {

// A byte that may follow a CP932 lead byte (0x40-0x7E, 0x80-0xFC).
bool isShiftJisTrailByte(unsigned char byte);

// A half-width katakana byte of Shift_JIS (0xA1-0xDF).
bool isHalfWidthKanaByte(unsigned char byte);

// The number of half-width katakana in the Shift_JIS reading of `bytes`;
// nullopt when the bytes are not Shift_JIS.
std::optional<std::size_t> shiftJisHalfWidthKana(std::string_view bytes);

bool isValidShiftJis(std::string_view bytes);

// EUC-JP with JIS X 0208, half-width katakana (0x8E) and JIS X 0212 (0x8F).
bool isValidEucJp(std::string_view bytes);

// True when the bytes designate a set the way ISO-2022-JP and ISO-2022-JP-2
// do (ESC $ B, ESC $ ( D, ESC $ A, ESC . A …). ISO-2022-KR and -CN designate
// with ESC $ ) instead and are not taken for Japanese.
bool hasJisEscape(std::string_view bytes);

// The number of bytes with the high bit set.
std::size_t eightBitBytes(std::string_view bytes);

}  // namespace qf::text
