// Strings, exceptions, folders and paths: the run-time basics every unit uses.
#pragma once

#include <exception>
#include <string>

// A held string: bytes in code page 932, as the work file stores them.
using AnsiString = std::string;

// Every error the toolkit raises; Message is CP932 text.
class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

// File errors with the run time's error codes (2, 3, 4, 5, 100, 106, other system codes).
class EInOutError : public Exception {
public:
    EInOutError(int code, AnsiString message) : Exception(std::move(message)), ErrorCode(code) {}
    int ErrorCode;
};

// A file that cannot be opened for reading ("ファイル %s は開けません").
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A picture that cannot be decoded, or an extension without a decoder.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// Builds the EInOutError of a run-time error code, with its Japanese message.
EInOutError InOutError(int code);

namespace tk {

// True for a byte that opens a double-byte character of code page 932; the byte after it
// belongs to the same character, even when it is 0x5C ("\\") or 0x7C.
constexpr bool IsLeadByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// UTF-8 <-> CP932. Characters that CP932 cannot hold become "?".
AnsiString FromUtf8(const std::string& utf8);
std::string ToUtf8(const AnsiString& cp932);

// A held path as the file system names it: UTF-8, with every "\" that stands as a
// character of its own (not the second byte of a double-byte character) read as "/".
std::string NativePath(const AnsiString& path);

// The part of a held name after its last separator ("\" as a character of its own, or "/").
AnsiString ExtractFileName(const AnsiString& path);
// The extension of a held name, with its dot ("" when there is none).
AnsiString ExtractFileExt(const AnsiString& path);

// The process's current folder as a held string (no trailing separator), and changing it.
AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& folder);

// Formats a CP932 message with one %s or %d.
AnsiString Format(const AnsiString& pattern, const AnsiString& arg);
AnsiString Format(const AnsiString& pattern, int arg);

} // namespace tk
