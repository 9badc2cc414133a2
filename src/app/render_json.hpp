// The JSON in the scope page's scripts, written as it goes: commas between the values of an
// object or array, strings escaped (quote, backslash and every control character, the
// latter as \u00XX: nothing is dropped), floats as the shortest text that reads back as the
// same float.  The page's scripts assign it to a variable: `var LUMO_SHOW = {…};`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {

class JsonWriter {
public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    // The next value's name, inside an object.
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view text);
    JsonWriter& number(float value);
    JsonWriter& number(double value);
    JsonWriter& number(std::uint64_t value);
    JsonWriter& null();

    const std::string& text() const { return out_; }

private:
    void before_value();
    template <class Floating> void floating(Floating value);
    void close(char bracket);

    std::string out_;
    std::vector<bool> opened_;  // per open object or array: whether it has a value yet
    bool after_key_ = false;
};

// A script that sets the global `name` to `json`, after a comment line.
std::string json_script(std::string_view comment, std::string_view name, const JsonWriter& json);

}  // namespace lumo
