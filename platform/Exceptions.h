#pragma once
// The framework's exception classes that the data-access layer raises or passes on: a plain
// Exception with its message, the silent abort, conversion and operating-system errors, and the
// database error that roots the data-access layer's own family.
#include <exception>
#include <string>
#include <type_traits>

namespace qnl {

class Exception : public std::exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string Value) { FMessage = std::move(Value); }

private:
    std::string FMessage;
};

// The silent abort: handlers that show errors ignore it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    explicit EAbort(const std::string& Message) : Exception(Message) {}
};

// A text that is not a number where a number is needed.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A failed operating-system call: its error code and the system's text for it.
class EOSError : public Exception {
public:
    EOSError(int ErrorCode, std::string Message) : Exception(std::move(Message)), FErrorCode(ErrorCode) {}
    int ErrorCode() const { return FErrorCode; }

private:
    int FErrorCode;
};

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

} // namespace qnl

namespace qnl {

// An operation that a Variant of its kind cannot do (an array read as text, ...).
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// Runs Fn and, on the way out (also by an exception), Restore.
template <class Fn, class Restore>
auto Guarded(Fn&& fn, Restore&& restore) {
    try {
        if constexpr (std::is_void_v<decltype(fn())>) {
            fn();
            restore();
        } else {
            auto result = fn();
            restore();
            return result;
        }
    } catch (...) {
        restore();
        throw;
    }
}

} // namespace qnl
