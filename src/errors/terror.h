// Base of the option library's errors: one complete message and an optional
// shared cause. Only the entry point catches them.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace talvor {

class TError : public std::exception {
public:
    explicit TError(std::string message) : message_(std::move(message)) {}
    ~TError() override = default;

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    // The error that led to this one; empty for every error raised in this program.
    const std::shared_ptr<TError>& cause() const noexcept { return cause_; }

private:
    std::string message_;
    std::shared_ptr<TError> cause_;
};

}  // namespace talvor
