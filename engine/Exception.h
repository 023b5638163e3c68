#pragma once

#include <exception>
#include <string>

namespace morvane {

// Base of every error a user may see: it carries the text shown in the error
// box (or printed by the batch converter) and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace morvane
