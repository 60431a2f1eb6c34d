// Strings, exceptions, folders and paths: code page 932 conversion through iconv, the run-time
// error messages, and the reading of held paths as Linux paths.
#include "sysutils.h"

#include <cerrno>
#include <iconv.h>
#include <string_view>
#include <unistd.h>

namespace {

bool IsAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// How many bytes of the input a "?" stands for when iconv refuses the character at the front.
using SkipRule = std::size_t (*)(std::string_view rest);

// A UTF-8 character that CP932 cannot hold is replaced as a whole; a byte that starts no
// well-formed sequence is replaced alone.
std::size_t SkipUtf8(std::string_view rest)
{
    const auto b = static_cast<unsigned char>(rest[0]);
    std::size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 1;
    if (b > 0xF4 || length > rest.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80)
            return 1;
    return length;
}

// A lead byte with a byte after it in the trail range is one (unassigned) character, as
// Windows reads it; anything else is one stray byte.
std::size_t SkipCp932(std::string_view rest)
{
    if (rest.size() >= 2 && tk::IsLeadByte(rest[0])) {
        const auto t = static_cast<unsigned char>(rest[1]);
        if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))
            return 2;
    }
    return 1;
}

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from, std::size_t growth, SkipRule skip)
        : cd_(iconv_open(to, from)), growth_(growth), skip_(skip)
    {
    }
    ~Converter()
    {
        if (cd_ != invalid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string Convert(std::string_view in)
    {
        if (cd_ == invalid())
            throw Exception("iconv: CP932 is not available");
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(in.size() * growth_ + 8, '\0');
        std::size_t done = 0; // bytes of out filled
        std::size_t pos = 0;  // bytes of in consumed
        while (pos < in.size()) {
            char* inPtr = const_cast<char*>(in.data() + pos);
            std::size_t inLeft = in.size() - pos;
            char* outPtr = out.data() + done;
            std::size_t outLeft = out.size() - done;
            const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            pos = static_cast<std::size_t>(inPtr - in.data());
            done = static_cast<std::size_t>(outPtr - out.data());
            if (result != static_cast<std::size_t>(-1))
                break;
            if (error == E2BIG) {
                out.resize(out.size() * 2 + 8);
                continue;
            }
            if (done == out.size())
                out.resize(out.size() * 2 + 8);
            out[done++] = '?';
            if (error == EINVAL) // a character cut off by the end of the input
                break;
            pos += skip_(in.substr(pos));
        }
        out.resize(done);
        return out;
    }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
    std::size_t growth_;
    SkipRule skip_;
};

// The length of the name part at the end of a held path: after the last "\" that is a
// character of its own, or the last "/".
std::size_t NameStart(std::string_view path)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size();) {
        if (tk::IsLeadByte(path[i]) && i + 1 < path.size()) {
            i += 2;
            continue;
        }
        const char c = path[i++];
        if (c == '\\' || c == '/')
            start = i;
    }
    return start;
}

AnsiString Substitute(const AnsiString& pattern, char conversion, const AnsiString& arg)
{
    AnsiString result;
    result.reserve(pattern.size() + arg.size());
    bool used = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            if (next == '%') {
                result += '%';
                ++i;
                continue;
            }
            if (next == conversion && !used) {
                result += arg;
                used = true;
                ++i;
                continue;
            }
        }
        result += pattern[i];
    }
    return result;
}

} // namespace

EInOutError InOutError(int code)
{
    const char* text = nullptr;
    switch (code) {
    case 2: text = "ファイルが見つかりません"; break;
    case 3: text = "不正なファイル名です"; break;
    case 4: text = "オープンしたファイルが多すぎます"; break;
    case 5: text = "ファイルへのアクセスが拒否されました"; break;
    case 106: text = "入力値が数値ではありません"; break;
    default: break;
    }
    if (text)
        return EInOutError(code, tk::FromUtf8(text));
    return EInOutError(code, tk::Format(tk::FromUtf8("I/O エラー (%d)"), code));
}

namespace tk {

AnsiString FromUtf8(const std::string& utf8)
{
    if (IsAscii(utf8))
        return utf8;
    // Every UTF-8 character outside ASCII takes at least as many bytes as its CP932 form or "?".
    thread_local Converter converter("CP932", "UTF-8", 1, SkipUtf8);
    return converter.Convert(utf8);
}

std::string ToUtf8(const AnsiString& cp932)
{
    if (IsAscii(cp932))
        return cp932;
    // A half-width katakana byte becomes three UTF-8 bytes.
    thread_local Converter converter("UTF-8", "CP932", 3, SkipCp932);
    return converter.Convert(cp932);
}

std::string NativePath(const AnsiString& path)
{
    AnsiString slashed = path;
    for (std::size_t i = 0; i < slashed.size();) {
        if (IsLeadByte(slashed[i]) && i + 1 < slashed.size()) {
            i += 2;
            continue;
        }
        if (slashed[i] == '\\')
            slashed[i] = '/';
        ++i;
    }
    return ToUtf8(slashed);
}

AnsiString ExtractFileName(const AnsiString& path)
{
    return path.substr(NameStart(path));
}

AnsiString ExtractFileExt(const AnsiString& path)
{
    // "." is never the second byte of a double-byte character, so a plain search is safe.
    const std::size_t start = NameStart(path);
    const std::size_t dot = path.rfind('.');
    if (dot == AnsiString::npos || dot < start)
        return {};
    return path.substr(dot);
}

AnsiString GetCurrentDir()
{
    std::string buffer(256, '\0');
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::string_view(buffer.c_str()).size());
    return FromUtf8(buffer);
}

bool SetCurrentDir(const AnsiString& folder)
{
    return chdir(NativePath(folder).c_str()) == 0;
}

AnsiString Format(const AnsiString& pattern, const AnsiString& arg)
{
    return Substitute(pattern, 's', arg);
}

AnsiString Format(const AnsiString& pattern, int arg)
{
    return Substitute(pattern, 'd', std::to_string(arg));
}

} // namespace tk
