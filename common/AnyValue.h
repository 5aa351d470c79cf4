#pragma once

#include <charconv>
#include <concepts>
#include <string>

// An argument that takes text or a number; a number stands for its decimal text form.
class AnyValue {
public:
    AnyValue(std::string text) : text_(std::move(text)) {}
    AnyValue(const char* text) : text_(text) {}
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>) AnyValue(T number)
        : text_(std::to_string(number)) {}
    template <std::floating_point T> AnyValue(T number) {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
        text_.assign(buffer, result.ptr);
    }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};
