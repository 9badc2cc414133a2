#include "core/error.hpp"

#include <cstdio>

namespace lumo {

Error Error::context(std::string outer) const {
    Error wrapped(std::move(outer));
    wrapped.causes_.reserve(causes_.size() + 1);
    wrapped.causes_.push_back(message_);
    wrapped.causes_.insert(wrapped.causes_.end(), causes_.begin(), causes_.end());
    return wrapped;
}

std::string Error::report() const {
    std::string text = message_;
    if (causes_.empty()) return text;
    text += "\n\nCaused by:";
    if (causes_.size() == 1) {
        text += "\n    " + causes_.front();
        return text;
    }
    for (std::size_t i = 0; i < causes_.size(); ++i) {
        text += "\n    " + std::to_string(i) + ": " + causes_[i];
    }
    return text;
}

std::string Error::debug() const {
    std::string text = "Error { message: " + debug_quote(message_);
    if (!causes_.empty()) {
        text += ", causes: [";
        for (std::size_t i = 0; i < causes_.size(); ++i) {
            if (i > 0) text += ", ";
            text += debug_quote(causes_[i]);
        }
        text += "]";
    }
    return text + " }";
}

std::string debug_quote(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            case '\0': quoted += "\\0"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char escape[16];
                    std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
                    quoted += escape;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

}  // namespace lumo
