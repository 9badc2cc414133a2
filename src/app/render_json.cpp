#include "app/render_json.hpp"

#include <charconv>
#include <cmath>

namespace lumo {

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!opened_.empty()) {
        if (opened_.back()) out_ += ',';
        opened_.back() = true;
    }
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    out_ += '{';
    opened_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    out_ += '[';
    opened_.push_back(false);
    return *this;
}

void JsonWriter::close(char bracket) {
    if (!opened_.empty()) opened_.pop_back();
    out_ += bracket;
}

JsonWriter& JsonWriter::end_object() {
    close('}');
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    close(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    string(name);
    out_ += ':';
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    before_value();
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += c;
        } else if (c == '\n') {
            out_ += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out_ += "\\u00";
            out_ += kHex[byte >> 4];
            out_ += kHex[byte & 15];
        } else {
            out_ += c;  // UTF-8 passes as it is
        }
    }
    out_ += '"';
    return *this;
}

// The shortest text that reads back as the same value, whatever the locale; JSON has no
// infinity or NaN.
template <class Floating> void JsonWriter::floating(Floating value) {
    before_value();
    if (!std::isfinite(value)) {
        out_ += "null";
        return;
    }
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    out_.append(text, error == std::errc() ? end : text);
}

JsonWriter& JsonWriter::number(float value) {
    floating(value);
    return *this;
}

JsonWriter& JsonWriter::number(double value) {
    floating(value);
    return *this;
}

JsonWriter& JsonWriter::number(std::uint64_t value) {
    before_value();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::null() {
    before_value();
    out_ += "null";
    return *this;
}

std::string json_script(std::string_view comment, std::string_view name, const JsonWriter& json) {
    std::string script = "// ";
    script += comment;
    script += "\nvar ";
    script += name;
    script += " = ";
    script += json.text();
    script += ";\n";
    return script;
}

}  // namespace lumo
