#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// A failure as the workflow reports it: a number and a description.
class Failure : public std::exception {
public:
    Failure(int32_t number, std::string description)
        : number(number), description(std::move(description)) {}

    const char* what() const noexcept override { return description.c_str(); }

    int32_t number;
    std::string description;
    // Why, in the words of the parser or the system, when known: the part of the failure a
    // person can act on, without the operation and its arguments.
    std::string reason;
    // Where in the input the failure lies, when known; the message box's details and the log
    // show it.
    std::string detail;
};

// The XML wrapper's class error.
inline constexpr int32_t kClassErrorNumber = 60000;
// A file dialog that the user cancelled.
inline constexpr int32_t kDialogCancelledNumber = 32755;

// Numbers of the run-time failures that the wrapper's operations pass on unchanged.
inline constexpr int32_t kErrInvalidCall = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrObjectNotSet = 91;
inline constexpr int32_t kErrXmlLibrary = -2147467259; // the XML library's generic failure

inline constexpr const char* kObjectNotSetText = "Object variable or With block variable not set";

// "number blank description", the text of a trapped failure's message box.
std::string FailureText(const std::exception& e);
