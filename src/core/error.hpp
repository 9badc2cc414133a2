// The error value that start-up failures travel in, up to main.
//
// An Error is a message with an optional chain of causes, outermost first.  Its
// report is what main prints after "Error: "; its debug form is what lumo prints where a
// failed result is shown as `Err(...)`.
//
// Part of lumo's external interface (keep them as they are): main's failure is "Error: "
// and the report on standard error, then exit status 1 (core/fatal.hpp lists the
// statuses); the report's shape (the message; with causes an empty line, "Caused by:" and
// one cause a line); the debug form `Error { message: "…", causes: [...] }`; and the
// messages lumo and its audio layer give for the situations users meet: "HiFiBerry DAC+
// not found", "Default output device is not available", "The requested device is no
// longer available. For example, it has been unplugged.", "The requested stream type is
// not supported by the device.", "A backend-specific error has occurred: ALSA function
// 'NAME' failed with error 'TEXT (ERRNO)'", and the stream error callback's prefix
// "Error building output sound stream: ".  Further detail goes into causes, never into
// these messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lumo {

class Error {
public:
    explicit Error(std::string message) : message_(std::move(message)) {}

    const std::string& message() const { return message_; }
    const std::vector<std::string>& causes() const { return causes_; }

    // A new error whose message is `outer` and whose first cause is this error.
    Error context(std::string outer) const;

    // The message; with causes, an empty line, "Caused by:" and the causes, one per line.
    std::string report() const;

    // `Error { message: "...", causes: [...] }`, quoted and escaped.
    std::string debug() const;

private:
    std::string message_;
    std::vector<std::string> causes_;
};

// Text in double quotes with backslash escapes for quotes, backslashes and control
// characters, the way lumo shows names and messages in its debug forms.
std::string debug_quote(std::string_view text);

// Either a value or an Error.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success or an Error.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

}  // namespace lumo
