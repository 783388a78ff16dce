#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// One step through UTF-8 text: the scalar value that starts at an offset and the bytes
// that encode it. An invalid sequence comes back without a scalar, one piece for each
// maximal ill-formed subpart, so a reader that writes U+FFFD for each piece agrees with
// every other conforming decoder.
struct Utf8Piece {
    std::optional<char32_t> scalar;
    std::string_view bytes;
};

// The piece that starts at `offset`; an empty piece at the end of the text.
Utf8Piece nextUtf8Piece(std::string_view text, std::size_t offset);

template <class Visit>
void forEachUtf8Piece(std::string_view text, Visit visit) {
    for (std::size_t offset = 0; offset < text.size();) {
        const Utf8Piece piece = nextUtf8Piece(text, offset);
        offset += piece.bytes.size();
        visit(piece);
    }
}

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool isValidUtf8(std::string_view text);

// The text with every invalid piece replaced by U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace brindle
