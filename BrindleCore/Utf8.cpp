#include "BrindleCore/Utf8.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace brindle {

Utf8Piece nextUtf8Piece(std::string_view text, std::size_t offset) {
    // No sequence is longer than four bytes, so the decoder never needs to see more;
    // this also keeps its 32-bit indices safe for texts of any length.
    const std::string_view window = text.substr(std::min(offset, text.size()), 4);
    if (window.empty()) return {};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(window.data());
    std::int32_t index = 0;
    UChar32 scalar = 0;
    U8_NEXT(bytes, index, static_cast<std::int32_t>(window.size()), scalar);
    Utf8Piece piece{std::nullopt, window.substr(0, static_cast<std::size_t>(index))};
    if (scalar >= 0) piece.scalar = static_cast<char32_t>(scalar);
    return piece;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t offset = 0; offset < text.size();) {
        const Utf8Piece piece = nextUtf8Piece(text, offset);
        if (!piece.scalar) return false;
        offset += piece.bytes.size();
    }
    return true;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachUtf8Piece(text, [&](const Utf8Piece& piece) { out += piece.scalar ? piece.bytes : kReplacementCharacter; });
    return out;
}

}  // namespace brindle
