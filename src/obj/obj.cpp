#include "obj/obj.hpp"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/fatal.hpp"

namespace lumo {

namespace {

// The token separators: space and '\t' '\n' '\v' '\f' '\r', which are consecutive codes.
// Anything else, including non-ASCII bytes, belongs to a token.
bool is_space(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) return false;
    }
    return true;
}

// The tokens of one line, taken one at a time: most lines (normals, texture
// coordinates) are skipped after their first token, and no token is copied.
struct Tokens {
    std::string_view line;
    std::size_t taken = 0;  // tokens handed out so far
    std::size_t at = 0;

    // The next token; empty once the line has no more.
    std::string_view next() {
        while (at < line.size() && is_space(line[at])) ++at;
        const std::size_t start = at;
        while (at < line.size() && !is_space(line[at])) ++at;
        if (at > start) ++taken;
        return line.substr(start, at - start);
    }

    // The next token, which must be there: a line that ends first stops the program,
    // naming how many tokens it had.
    std::string_view required() {
        const std::string_view token = next();
        if (token.empty()) fatal_index_out_of_bounds(taken, taken);
        return token;
    }
};

[[noreturn]] void bad_float(std::string_view kind) {
    std::string detail = "ParseFloatError { kind: ";
    detail += kind;
    detail += " }";
    fatal_unwrap(detail);
}

[[noreturn]] void bad_index(std::string_view kind) {
    std::string detail = "ParseIntError { kind: ";
    detail += kind;
    detail += " }";
    fatal_unwrap(detail);
}

// from_chars for float, which the WebAssembly build's libc++ lacks: there strtof, which
// is correctly rounded too, reads the same decimal text (the callers validate or accept
// only that).  Tokens are short, so the copy stays in the string's own storage.
std::from_chars_result float_from_chars(const char* first, const char* last, float& value) {
#if defined(__wasi__)
    const std::string text(first, last);
    char* end = nullptr;
    errno = 0;
    const float read = std::strtof(text.c_str(), &end);
    const char* const stop = first + (end - text.c_str());
    if (end == text.c_str()) return {first, std::errc::invalid_argument};
    if (errno == ERANGE) return {stop, std::errc::result_out_of_range};
    value = read;
    return {stop, std::errc()};
#else
    return std::from_chars(first, last, value, std::chars_format::general);
#endif
}

// A decimal float: optional sign, digits with an optional point (at least one digit in
// all), optional exponent; or "inf", "infinity", "nan" in any letter case after the
// optional sign.  Nothing else: no hex, no surrounding junk.  The value is correctly
// rounded; a magnitude beyond float's range becomes infinity, one below it zero.
float parse_float(std::string_view token) {
    if (token.empty()) bad_float("Empty");
    // The usual spelling, a digit, point or minus sign and digit first, means what
    // from_chars reads when it reads the whole token and finds the value in range (no
    // "inf", "nan" or "nan(...)"): no need to validate it first.
    const char lead = token[0] == '-' && token.size() > 1 ? token[1] : token[0];
    if (is_digit(lead) || lead == '.') {
        float value = 0.0f;
        const char* const last = token.data() + token.size();
        const auto [end, error] = float_from_chars(token.data(), last, value);
        if (error == std::errc() && end == last) return value;
    }
    std::size_t i = 0;
    const bool negative = token[0] == '-';
    if (token[0] == '+' || token[0] == '-') ++i;
    const std::string_view body = token.substr(i);
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
        const float inf = std::numeric_limits<float>::infinity();
        return negative ? -inf : inf;
    }
    if (equals_ignoring_case(body, "nan")) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        return negative ? -nan : nan;
    }

    // Validate, and find where the first significant digit lies relative to the point
    // (its decimal exponent), in case the value falls outside float's range.
    std::size_t digits = 0;
    long first_significant = 0;  // decimal exponent of the first non-zero digit
    bool seen_significant = false;
    long integer_digits = 0;
    while (i < token.size() && is_digit(token[i])) {
        if (!seen_significant && token[i] != '0') seen_significant = true;
        if (seen_significant) ++integer_digits;
        ++digits;
        ++i;
    }
    if (seen_significant) first_significant = integer_digits - 1;
    if (i < token.size() && token[i] == '.') {
        ++i;
        long position = -1;
        while (i < token.size() && is_digit(token[i])) {
            if (!seen_significant && token[i] != '0') {
                seen_significant = true;
                first_significant = position;
            }
            --position;
            ++digits;
            ++i;
        }
    }
    if (digits == 0) bad_float("Invalid");
    long exponent = 0;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        bool exponent_negative = false;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
            exponent_negative = token[i] == '-';
            ++i;
        }
        if (i == token.size()) bad_float("Invalid");
        while (i < token.size() && is_digit(token[i])) {
            // Far beyond any float exponent; saturating keeps the sum below from overflowing.
            if (exponent < 1000000) exponent = exponent * 10 + (token[i] - '0');
            ++i;
        }
        if (exponent_negative) exponent = -exponent;
    }
    if (i != token.size()) bad_float("Invalid");

    // from_chars takes no leading '+'; the rest is the validated decimal form.
    const std::string_view number = token[0] == '+' ? token.substr(1) : token;
    float value = 0.0f;
    const auto [end, error] = float_from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        const bool too_large = seen_significant && first_significant + exponent > 0;
        value = too_large ? std::numeric_limits<float>::infinity() : 0.0f;
        return negative ? -value : value;
    }
    if (error != std::errc() || end != number.data() + number.size()) bad_float("Invalid");
    return value;
}

// An unsigned 32-bit decimal: optional '+', then digits only, read left to right so
// that the first fault met decides the error.
VertexIndex parse_index(std::string_view text) {
    if (text.empty()) bad_index("Empty");
    std::size_t i = text[0] == '+' ? 1 : 0;
    if (i == text.size()) bad_index("InvalidDigit");
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!is_digit(text[i])) bad_index("InvalidDigit");
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > std::numeric_limits<VertexIndex>::max()) bad_index("PosOverflow");
    }
    return static_cast<VertexIndex>(value);
}

Vertex bounding_box_center(const std::vector<Vertex>& vertices) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    Vertex low{inf, inf, inf};
    Vertex high{-inf, -inf, -inf};
    // Comparisons with NaN fail, so a NaN coordinate never becomes a bound.
    auto widen = [](float value, float& min, float& max) {
        if (value > max) max = value;
        if (value < min) min = value;
    };
    for (const Vertex& v : vertices) {
        widen(v.x, low.x, high.x);
        widen(v.y, low.y, high.y);
        widen(v.z, low.z, high.z);
    }
    // Without vertices the bounds stay infinite and inf + -inf gives the NaN centre.
    return {(low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f, (low.z + high.z) * 0.5f};
}

}  // namespace

Model load_obj(std::string_view text) {
    Model model;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        Tokens tokens{line};
        const std::string_view keyword = tokens.next();
        if (keyword == "v") {
            const float x = parse_float(tokens.required());
            const float y = parse_float(tokens.required());
            const float z = parse_float(tokens.required());
            model.vertices.push_back({x, y, z});
        } else if (keyword == "f") {
            Face face{};
            for (VertexIndex& index : face) {
                const std::string_view token = tokens.required();
                const std::string_view vertex = token.substr(0, token.find('/'));
                // OBJ counts from 1; 0 wraps to the largest index, which the effects reject.
                index = parse_index(vertex) - 1u;
            }
            model.faces.push_back(face);
        }
    }
    model.center = bounding_box_center(model.vertices);
    return model;
}

void check_face_indices(const Model& model) {
    for (const Face& face : model.faces) {
        for (const VertexIndex index : face) checked_index(index, model.vertices.size());
    }
}

}  // namespace lumo
