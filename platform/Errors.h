// The exception family of the installer. Every failure travels as one of these; the error
// display shows message() (and nothing at all for EAbort).
#pragma once
#include <windows.h>

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
private:
    std::string message_;
};

// The silent abort: ends a handler without any box.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

class ERegistryException : public Exception { using Exception::Exception; };

// "Unable to create directory" of ensure-directory.
class EInOutError : public Exception { using Exception::Exception; };

class EStreamError : public Exception { using Exception::Exception; };
class EFileStreamError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EFileStreamError { using EFileStreamError::EFileStreamError; };
class EFilerError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EFilerError { using EFilerError::EFilerError; };

// A folder the installer would write into failed its check: a link, a file in its place, a folder
// of an ordinary user where only administrators may write (platform/Folders.h).
class EFolderError : public Exception { using Exception::Exception; };

class EResNotFound : public Exception { using Exception::Exception; };

// COM failures: a class that cannot be created, an interface that is not offered.
class EOleError : public Exception { using Exception::Exception; };
class EOleSysError : public EOleError {
public:
    EOleSysError(std::string message, long code) : EOleError(std::move(message)), code_(code) {}
    long code() const noexcept { return code_; }
private:
    long code_;
};
class EIntfCastError : public Exception { using Exception::Exception; };

// printf-style formatting into a std::string, for the messages above.
std::string Format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The system's text for an error code, trimmed of trailing blanks, control characters and
// full stops ("" when the system has none).
std::string SysErrorMessage(DWORD code);
