// Exceptions that carry a message text, and the guard that ends the process on an uncaught one.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include <corvex/runtime/string.h>

namespace corvex {

// Base of every exception the framework raises. ToString() is the text printed when nothing
// catches it; what() returns the same text in UTF-8.
class TException : public std::exception {
public:
    TException() = default;  // empty text
    explicit TException(TString text);  // with this text
    explicit TException(std::string_view utf8);  // with this text, in UTF-8
    virtual TString ToString() const { return _text; }  // the text
    const char* what() const noexcept override;  // the text in UTF-8

private:
    TString _text;
    mutable std::string _utf8;
};

// An error the caller cannot continue from ("Stream is not readable", "Too many hook ids", ...).
class TRuntimeException : public TException {
public:
    using TException::TException;  // the constructors of TException
};

// The text of any exception: TException::ToString(), std::exception::what(), or "Unknown exception".
TString ExceptionText(std::exception_ptr error);

// Prints the text of the exception in flight on standard error and ends the process with exit
// code -1 (255). For use inside a catch block or a terminate handler.
[[noreturn]] void DieWithException(std::exception_ptr error);

// Runs body; an exception escaping it ends the process through DieWithException.
void RunGuarded(const std::function<void()>& body);

// Installs a std::terminate handler that reports an uncaught exception the same way.
void InstallTerminateHandler();

}  // namespace corvex
