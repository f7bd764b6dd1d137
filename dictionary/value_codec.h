#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/scale_protocol.h"

// The byte coding of attribute values inside a record exchanged with the scale.
//
// Every value byte b is sent as b + 20h when b <= 222, else as the three bytes FFh,
// (b >> 4) + 20h, (b & 0Fh) + 20h. Coded bytes therefore lie in 20h..FFh and never collide
// with the framing bytes of a record (ETX, ETB, RS).

namespace record_bytes {
constexpr char kEtx = protocol::ETX;  // end of the record
constexpr char kEtb = protocol::ETB;  // end of one attribute group
constexpr char kRs = protocol::RS;    // between the values of a multi-field attribute
constexpr char kEscape = '\xFF';      // introduces a value byte above 222
}  // namespace record_bytes

// How one text is represented in value bytes.
enum class ValueMode : std::uint8_t {
    // Hexadecimal digits (decimal digits for BCD values), two per byte, least significant
    // pair first.
    PackedDigits = 0,
    // As PackedDigits of the digits followed by one extra 0 digit.
    ShiftedDigits = 1,
    // A decimal number on the PC, its binary value (least significant byte first) on the wire.
    // A value of up to four bytes reads as a signed 32-bit number (FFFFFFFBh is -5), a longer
    // one (up to eight bytes) as an unsigned 64-bit number.
    Binary = 2,
    // One coded byte per character after PC-to-scale translation, then a coded 0 byte.
    TranslatedText = 3,
    // One coded byte per character, then a coded 0 byte.
    PlainText = 4,
    // As Binary, for attributes of five to eight bytes: every value reads as an unsigned
    // 64-bit number, so that none of them turns negative in a file.
    WideBinary = 5,
};

// Appends the value bytes of `text` to `out`. In the digit modes blanks are ignored; an empty
// text (after that) gives no bytes at all. A digit character other than 0-9, A-F, a-f counts as
// 0 and keeps its position; a Binary or WideBinary text that is not a decimal number in
// -2147483648..18446744073709551615 is sent as 0 (a negative number as its 32-bit two's
// complement, the form a four-byte value reads as). Mode TranslatedText uses g_charTranslation
// when loaded.
void appendValueBytes(std::string& out, const std::string& text, ValueMode mode);

// The value bytes of `text` (a copy; the caller's text is not changed).
std::string encodeValueBytes(std::string text, ValueMode mode);

// Reads one value from `record`, starting at `pos`, looking at no byte at or after `length`
// (nor after the end of `record`). The value ends before ETB, ETX or RS, at the end of the
// record, and in the text modes at the coded 0 byte, on which `pos` is then left; otherwise
// `pos` is left on the first byte not consumed. The digit modes give upper-case hexadecimal
// digits without leading zeros (at least one), Binary and WideBinary a decimal number.
// Fails, leaving `target` and `pos` unchanged, on an escape cut off by a framing byte or by the
// end of the record, in the digit modes on a value without any byte, and in the binary modes
// on a value of more than eight bytes (leading zero bytes not counted).
bool decodeValueBytes(const std::string& record, std::size_t& pos, std::size_t length,
                      ValueMode mode, std::string& target);

// Whether a column text has a defined byte form in `mode`: in PackedDigits and ShiftedDigits
// only 0-9, A-F, a-f and blanks; in Binary and WideBinary blanks and a decimal number in
// -2147483648..18446744073709551615, or nothing; in the text modes every text without a NUL
// byte. True for every text that decodeValueBytes produces in the same mode.
bool isValidValueText(const std::string& text, ValueMode mode);

// The number of bytes a valid Binary or WideBinary text takes on the wire (0 for a text of
// blanks only); 0 as well for an invalid text or another mode.
std::size_t binaryValueSize(const std::string& text);
