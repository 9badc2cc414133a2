// load_obj on arbitrary text: it must end in a Model or in one of its documented stops
// (a missing token, a float or index that does not parse), never crash, read outside the
// text or stop any other way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fatal_stop.hpp"
#include "obj/obj.hpp"

namespace {

bool is_documented_stop(const lumo::fuzz::FatalStop& stop) {
    using Kind = lumo::fuzz::FatalStop::Kind;
    // A vertex or face line is short by its first missing token, so the token count is
    // the missing index: 1, 2 or 3.
    if (stop.kind == Kind::IndexOutOfBounds) return stop.len == stop.index && stop.index >= 1 && stop.index <= 3;
    if (stop.kind != Kind::Unwrap) return false;
    for (std::string_view detail :
         {"ParseFloatError { kind: Empty }", "ParseFloatError { kind: Invalid }", "ParseIntError { kind: Empty }",
          "ParseIntError { kind: InvalidDigit }", "ParseIntError { kind: PosOverflow }"}) {
        if (stop.text == detail) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const lumo::Model model = lumo::load_obj(std::string_view(reinterpret_cast<const char*>(data), size));
        // Every vertex and face statement needs at least "v a b c" or "f a b c".
        if ((model.vertices.size() + model.faces.size()) * 7 > size) std::abort();
    } catch (const lumo::fuzz::FatalStop& stop) {
        if (!is_documented_stop(stop)) std::abort();
    }
    return 0;
}
