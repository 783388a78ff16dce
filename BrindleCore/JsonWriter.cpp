#include "BrindleCore/JsonWriter.h"

#include <cstdint>
#include <stdexcept>

#include "BrindleCore/Utf8.h"

namespace brindle {

namespace {

void writeString(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    forEachUtf8Piece(text, [&](const Utf8Piece& piece) {
        if (!piece.scalar) {
            out += kReplacementCharacter;
            return;
        }
        switch (*piece.scalar) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (*piece.scalar < 0x20) {
                out += "\\u00";
                out += hex[*piece.scalar >> 4];
                out += hex[*piece.scalar & 0xF];
            } else {
                out += piece.bytes;
            }
        }
    });
    out += '"';
}

void indent(std::string& out, int level) { out.append(static_cast<std::size_t>(level) * 2, ' '); }

void write(std::string& out, const nlohmann::json& value, int level) {
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
    case Type::string: writeString(out, value.get_ref<const std::string&>()); return;
    case Type::number_integer: out += std::to_string(value.get<std::int64_t>()); return;
    case Type::number_unsigned: out += std::to_string(value.get<std::uint64_t>()); return;
    case Type::boolean: out += value.get<bool>() ? "true" : "false"; return;
    case Type::null: out += "null"; return;
    case Type::number_float: out += value.dump(); return;  // no record holds one; the library's form reads back
    case Type::binary:
    case Type::discarded: throw std::invalid_argument("A JSON value of this kind has no text form.");
    case Type::array:
    case Type::object: break;
    }
    const bool isObject = value.is_object();
    if (value.empty()) {
        out += isObject ? "{}" : "[]";
        return;
    }
    out += isObject ? "{\n" : "[\n";
    std::size_t written = 0;
    for (auto member = value.begin(); member != value.end(); ++member) {
        indent(out, level + 1);
        if (isObject) {
            writeString(out, member.key());
            out += " : ";
        }
        write(out, *member, level + 1);
        out += ++written < value.size() ? ",\n" : "\n";
    }
    indent(out, level);
    out += isObject ? '}' : ']';
}

}  // namespace

std::string writeJson(const nlohmann::json& value) {
    std::string out;
    write(out, value, 0);
    return out;
}

}  // namespace brindle
