// The work file: text lines in code page 932, each ending in CR LF; the window size, then 200
// page blocks whose fields are known by their position alone.
#include "workfile.h"

#include "textfile.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTextEnd = "*";
constexpr int kEndOfFile = 100;     // the run time's "read beyond end of file"
constexpr int kNotANumber = 106;
constexpr std::size_t kMaxNumberLength = 32;
// A work is a few megabytes of text at most; a file far beyond that is no work, and is refused
// before it is read rather than after filling the memory with it.
constexpr std::size_t kMaxWorkFileBytes = 256u * 1024 * 1024;

// The one place that knows the order of the fields of a page block; the writer and the reader
// both walk it. Io has Name, String, Flag, Integer and Text for the five kinds of line.
template <class Page, class Io>
void VisitPage(Page& page, Io& io)
{
    for (int i = 1; i <= 3; ++i) {
        auto& picture = page.Pictures[i];
        io.Name(picture.FileName);
        io.Flag(picture.Visible);
        io.Integer(picture.Top);
        io.Integer(picture.Height);
        io.Integer(picture.Left);
        io.Integer(picture.Width);
        io.Integer(picture.Link);
    }
    for (int i = 1; i <= 3; ++i) {
        auto& text = page.Texts[i];
        io.Text(text.Text);
        io.Flag(text.Visible);
        io.Integer(text.Top);
        io.Integer(text.Height);
        io.Integer(text.Left);
        io.Integer(text.Width);
        io.Integer(text.FontColor);
        io.String(text.FontName);
        io.Integer(text.FontSize);
        io.Integer(text.FontStyle);
        io.Integer(text.Link);
    }
    for (int i = 1; i <= 2; ++i) {
        auto& button = page.Buttons[i];
        io.Flag(button.Visible);
        io.Integer(button.Link);
        io.String(button.Caption);
        io.Integer(button.Top);
        io.Integer(button.Height);
        io.Integer(button.Left);
        io.Integer(button.Width);
    }
    io.Name(page.SoundFile);
}

class WorkFileBuilder {
public:
    explicit WorkFileBuilder(const FileNameMapping& mapping) : mapping_(mapping) {}

    void Integer(std::int32_t value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        out_.append(digits, result.ptr);
        out_ += kLineEnd;
    }
    void Flag(bool value)
    {
        out_ += value ? 'T' : 'F';
        out_ += kLineEnd;
    }
    void String(const AnsiString& value)
    {
        out_ += value;
        out_ += kLineEnd;
    }
    void Name(const AnsiString& name) { String(mapping_ ? mapping_(name) : name); }
    // The text's own line breaks separate its lines; one more line end closes its last line.
    void Text(const AnsiString& text)
    {
        String(text);
        String(AnsiString(kTextEnd));
    }

    std::string& Bytes() { return out_; }

private:
    const FileNameMapping& mapping_;
    std::string out_;
};

std::optional<std::int32_t> ParseHex(std::string_view digits)
{
    while (!digits.empty() && digits.front() == '0' && digits.size() > 1)
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
        return std::nullopt;
    return static_cast<std::int32_t>(value); // a 32-bit pattern: $FFFFFFFF is -1
}

std::optional<std::int32_t> ParseDecimal(std::string_view run)
{
    bool negative = false;
    if (!run.empty() && (run.front() == '+' || run.front() == '-')) {
        negative = run.front() == '-';
        run.remove_prefix(1);
    }
    if (run.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : run) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// A number as the integer lines hold it: decimal with an optional sign, or hexadecimal after
// "$", "x", "X", "0x" or "0X" (from_chars would take a sign or a prefix of its own, so both
// are checked here first).
std::optional<std::int32_t> ParseNumber(std::string_view run)
{
    if (!run.empty() && (run.front() == '$' || run.front() == 'x' || run.front() == 'X'))
        return ParseHex(run.substr(1));
    if (run.size() >= 2 && run[0] == '0' && (run[1] == 'x' || run[1] == 'X'))
        return ParseHex(run.substr(2));
    return ParseDecimal(run);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Reads the lines of a work file held in memory. Past the last line an integer is the error
// "read beyond end of file", and so is a text, which never meets its "*" line; a string line
// reads as empty and a flag line as false, as the run time reads them at the end of a file.
class WorkFileParser {
public:
    explicit WorkFileParser(std::string_view bytes) : next_(bytes.data()), end_(next_ + bytes.size()) {}

    // Blanks and whole empty lines before the number are passed over, so a number that stands
    // one line late is still found and every later field is read one line late too.
    void Integer(std::int32_t& value)
    {
        while (next_ != end_ && IsBlank(*next_))
            ++next_;
        if (next_ == end_)
            throw InOutError(kEndOfFile);
        const char* start = next_;
        while (next_ != end_ && !IsBlank(*next_) && static_cast<std::size_t>(next_ - start) < kMaxNumberLength)
            ++next_;
        const auto number = ParseNumber(std::string_view(start, static_cast<std::size_t>(next_ - start)));
        SkipRestOfLine();
        if (!number)
            throw InOutError(kNotANumber);
        value = *number;
    }
    void Flag(bool& value) { value = next_ != end_ && Line() == "T"; }
    void String(AnsiString& value) { value = next_ != end_ ? AnsiString(Line()) : AnsiString(); }
    void Name(AnsiString& value) { String(value); }
    // The lines up to the line "*", joined by CR LF. The line end that the writer puts after
    // the last line is not part of the text, so a text comes back exactly as it was saved.
    void Text(AnsiString& value)
    {
        value.clear();
        for (bool first = true;; first = false) {
            const std::string_view line = Line();
            if (line == kTextEnd)
                return;
            if (!first)
                value += kLineEnd;
            value += line;
        }
    }

private:
    // A line ends at LF or CR LF; a lone CR is part of the line.
    std::string_view Line()
    {
        if (next_ == end_)
            throw InOutError(kEndOfFile);
        const char* start = next_;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<std::size_t>(end_ - start)));
        if (!lf) {
            next_ = end_;
            return std::string_view(start, static_cast<std::size_t>(end_ - start));
        }
        next_ = lf + 1;
        const char* stop = lf != start && lf[-1] == '\r' ? lf - 1 : lf;
        return std::string_view(start, static_cast<std::size_t>(stop - start));
    }
    void SkipRestOfLine()
    {
        const auto* lf = static_cast<const char*>(std::memchr(next_, '\n', static_cast<std::size_t>(end_ - next_)));
        next_ = lf ? lf + 1 : end_;
    }

    const char* next_;
    const char* end_;
};

// True when the reader would meet a line that is exactly "*" inside the text: it splits lines
// at LF and drops a CR before it.
bool HoldsEndMarkerLine(std::string_view text)
{
    while (true) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line == kTextEnd)
            return true;
        if (lf == std::string_view::npos)
            return false;
        text.remove_prefix(lf + 1);
    }
}

// A CR or an LF would end a one-line field early (the reader takes a lone CR, but no other
// reader of the format need).
bool HoldsLineBreak(std::string_view line) { return line.find_first_of("\r\n") != std::string_view::npos; }

AnsiString Unsavable(int page, const char* element, const char* what)
{
    return std::to_string(page) + "ページの " + element + " の " + what + "に かいぎょうが あるので ほぞんできません";
}

} // namespace

AnsiString BaseName(const AnsiString& name)
{
    return tk::ExtractFileName(name);
}

std::optional<AnsiString> FindUnsavableField(const PageTable& table, const FileNameMapping& mapping)
{
    static const char* const pictureNames[] = {"絵１", "絵２", "絵３"};
    static const char* const textNames[] = {"文１", "文２", "文３"};
    static const char* const buttonNames[] = {"ボタン1", "ボタン２"};
    const auto written = [&mapping](const AnsiString& name) { return mapping ? mapping(name) : name; };
    for (int page = 1; page <= PageCount; ++page) {
        const datax& r = table[page];
        for (int i = 1; i <= 3; ++i)
            if (HoldsLineBreak(written(r.Pictures[i].FileName)))
                return Unsavable(page, pictureNames[i - 1], "ファイルのなまえ");
        for (int i = 1; i <= 3; ++i) {
            if (HoldsEndMarkerLine(r.Texts[i].Text))
                return std::to_string(page) + "ページの " + textNames[i - 1]
                     + " に「*」だけの ぎょうが あるので ほぞんできません";
            if (HoldsLineBreak(r.Texts[i].FontName))
                return Unsavable(page, textNames[i - 1], "フォントのなまえ");
        }
        for (int j = 1; j <= 2; ++j)
            if (HoldsLineBreak(r.Buttons[j].Caption))
                return Unsavable(page, buttonNames[j - 1], "文字");
        if (HoldsLineBreak(written(r.SoundFile)))
            return Unsavable(page, "音", "ファイルのなまえ");
    }
    return std::nullopt;
}

void WriteWorkFile(const AnsiString& path, const FileNameMapping& mapping, std::int32_t windowWidth,
                   std::int32_t windowHeight)
{
    if (const auto warning = FindUnsavableField(Pages, mapping))
        throw Exception(*warning);
    tk::SafeFileWriter file(path);
    WorkWidth = windowWidth;
    WorkHeight = windowHeight;

    WorkFileBuilder builder(mapping);
    builder.Bytes().reserve(64 * 1024);
    builder.Integer(WorkWidth);
    builder.Integer(WorkHeight);
    for (int page = 1; page <= PageCount; ++page)
        VisitPage(std::as_const(Pages[page]), builder);
    file.Write(builder.Bytes());
    file.Commit();
}

void ReadWorkFile(const AnsiString& path)
{
    const std::string bytes = tk::ReadFileBytes(path, kMaxWorkFileBytes);
    WorkFileParser parser(bytes);
    std::int32_t width = 0;
    std::int32_t height = 0;
    parser.Integer(width);
    parser.Integer(height);
    auto table = std::make_unique<PageTable>();
    for (int page = 1; page <= PageCount; ++page)
        VisitPage((*table)[page], parser);

    Pages = std::move(*table);
    WorkWidth = width;
    WorkHeight = height;
}
