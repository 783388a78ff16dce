#include "BrindleCore/JsonWriter.h"

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

void write(std::string& out, const JsonValue& value, int level) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                writeString(out, v);
            } else if constexpr (std::is_same_v<T, JsonValue::Array>) {
                if (v.empty()) {
                    out += "[]";
                    return;
                }
                out += "[\n";
                for (std::size_t i = 0; i < v.size(); ++i) {
                    indent(out, level + 1);
                    write(out, v[i], level + 1);
                    out += i + 1 < v.size() ? ",\n" : "\n";
                }
                indent(out, level);
                out += ']';
            } else {
                if (v.empty()) {
                    out += "{}";
                    return;
                }
                out += "{\n";
                std::size_t i = 0;
                for (const auto& [key, member] : v) {
                    indent(out, level + 1);
                    writeString(out, key);
                    out += " : ";
                    write(out, member, level + 1);
                    out += ++i < v.size() ? ",\n" : "\n";
                }
                indent(out, level);
                out += '}';
            }
        },
        value.value);
}

}  // namespace

std::string writeJson(const JsonValue& value) {
    std::string out;
    write(out, value, 0);
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out;
    writeString(out, text);
    return out;
}

}  // namespace brindle
