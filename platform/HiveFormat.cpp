#include "platform/HiveFormat.h"

#include "platform/Utf16.h"

#include <cstdio>
#include <vector>

namespace VexoOS::Platform {

namespace {

using View = std::u16string_view;

// The registry editor's own line end; a hive it exports and one we write look the same.
constexpr std::u16string_view kLineEnd = u"\r\n";

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

View trimLeft(View v)
{
    while (!v.empty() && isSpace(v.front()))
        v.remove_prefix(1);
    return v;
}

View trimRight(View v)
{
    while (!v.empty() && isSpace(v.back()))
        v.remove_suffix(1);
    return v;
}

View trim(View v) { return trimRight(trimLeft(v)); }

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool startsWithNoCase(View v, std::string_view prefix)
{
    if (v.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = v[i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 0x20);
        if (c != static_cast<char16_t>(prefix[i]))
            return false;
    }
    return true;
}

std::string narrowForMessage(View v)
{
    std::string out;
    if (!encodeUtf8(v.substr(0, 80), out, LoneSurrogates::EncodeAsIs))
        out = "?";
    return out;
}

// Turns the file's bytes into UTF-16 units, honouring a byte-order mark.
bool decodeFile(std::string_view bytes, std::u16string &text, std::string &error)
{
    if (bytes.starts_with(kUtf16ByteOrderMark)) {
        bytes.remove_prefix(kUtf16ByteOrderMark.size());
        if (bytes.size() % 2 != 0) {
            error = "UTF-16 file with an odd number of bytes (cut short?)";
            return false;
        }
        text.resize(bytes.size() / 2);
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i])
                                            | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        return true;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    size_t offset = 0;
    if (!decodeUtf8(bytes, text, &offset)) {
        error = "not valid UTF-8 at byte " + std::to_string(offset);
        return false;
    }
    return true;
}

class Parser {
public:
    Parser(View rootName, RegKey &root) : m_rootFolded(foldName(rootName)), m_root(root) {}

    bool run(const std::u16string &text, std::string &error)
    {
        splitLines(text);
        bool headerSeen = false;
        for (m_index = 0; m_index < m_lines.size(); ++m_index) {
            const View line = trim(m_lines[m_index]);
            if (line.empty())
                continue;
            if (!headerSeen) {
                if (line != u"Windows Registry Editor Version 5.00")
                    return fail(error, "the first line is not \"Windows Registry Editor Version 5.00\"");
                headerSeen = true;
                continue;
            }
            if (line.front() == u';')
                continue;
            bool ok;
            if (line.front() == u'[')
                ok = section(line);
            else if (line.front() == u'"' || line.front() == u'@')
                ok = value(line);
            else
                ok = problem("a line that is neither a [section] nor a \"name\"=value: " + narrowForMessage(line));
            if (!ok)
                return fail(error, m_problem);
        }
        return true;
    }

private:
    void splitLines(const std::u16string &text)
    {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(u'\n', start);
            if (end == std::u16string::npos)
                end = text.size();
            View line(text.data() + start, end - start);
            if (!line.empty() && line.back() == u'\r')
                line.remove_suffix(1);
            m_lines.push_back(line);
            start = end + 1;
        }
    }

    bool problem(std::string text)
    {
        m_problem = std::move(text);
        return false;
    }

    bool fail(std::string &error, const std::string &what)
    {
        error = "line " + std::to_string(m_index + 1) + ": " + what;
        return false;
    }

    bool section(View line)
    {
        if (line.back() != u']')
            return problem("a section without its closing bracket");
        View inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == u'-';
        if (remove)
            inner.remove_prefix(1);
        const size_t slash = inner.find(u'\\');
        const View root = inner.substr(0, slash);
        if (foldName(root) != m_rootFolded)
            return problem("a section outside this file's root: [" + narrowForMessage(inner) + "]");
        std::vector<std::u16string> path;
        if (slash != View::npos) {
            const LONG status = splitKeyPath(inner.substr(slash + 1), path);
            if (status != ERROR_SUCCESS)
                return problem("a key path with an empty, too long or invalid name: [" + narrowForMessage(inner) + "]");
        }
        if (remove) {
            if (path.empty())
                return problem("the root key cannot be deleted");
            const std::u16string last = path.back();
            path.pop_back();
            if (RegKey *parent = findKey(m_root, path))
                parent->removeSubKey(last);
            m_current = nullptr;
            m_inDeletedSection = true;
            return true;
        }
        RegKey *key = &m_root;
        for (const std::u16string &component : path)
            key = key->addSubKey(component);
        m_current = key;
        m_inDeletedSection = false;
        return true;
    }

    // A quoted string starting at line[i] == '"'; i ends after the closing quote.
    bool quoted(View line, size_t &i, std::u16string &out)
    {
        out.clear();
        for (++i; i < line.size(); ++i) {
            const char16_t c = line[i];
            if (c == u'"') {
                ++i;
                return true;
            }
            if (c == u'\\') {
                if (i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
                    out.push_back(line[++i]);
                    continue;
                }
                return problem("a backslash that escapes neither \\ nor \" in a quoted string");
            }
            out.push_back(c);
        }
        return problem("a quoted string without its closing quote");
    }

    bool value(View line)
    {
        if (!m_current)
            return problem(m_inDeletedSection ? "a value in a deleted section" : "a value before the first section");
        std::u16string name;
        size_t i = 0;
        if (line.front() == u'@') {
            i = 1;
        } else if (!quoted(line, i, name)) {
            return false;
        }
        if (!isValidValueName(name))
            return problem("a value name that is too long or holds a line break or NUL");
        View rest = trimLeft(line.substr(i));
        if (rest.empty() || rest.front() != u'=')
            return problem("a value name not followed by '='");
        rest = trimLeft(rest.substr(1));

        if (!rest.empty() && rest.front() == u'"') {
            std::u16string text;
            size_t j = 0;
            if (!quoted(rest, j, text))
                return false;
            if (!trim(rest.substr(j)).empty())
                return problem("text after the closing quote of a string value");
            if ((text.size() + 1) * 2 > kMaxValueDataBytes)
                return problem("a value larger than " + std::to_string(kMaxValueDataBytes) + " bytes");
            std::vector<BYTE> data;
            data.reserve((text.size() + 1) * 2);
            for (char16_t c : text) {
                data.push_back(static_cast<BYTE>(c & 0xFF));
                data.push_back(static_cast<BYTE>(c >> 8));
            }
            data.push_back(0);
            data.push_back(0);
            m_current->setValue(name, REG_SZ, std::move(data));
            return true;
        }
        if (rest == u"-") {
            m_current->removeValue(name);
            return true;
        }
        if (startsWithNoCase(rest, "dword:")) {
            const View digits = trimRight(rest.substr(6));
            if (digits.empty() || digits.size() > 8)
                return problem("a dword that is not 1 to 8 hex digits");
            DWORD number = 0;
            for (char16_t c : digits) {
                const int d = hexDigit(c);
                if (d < 0)
                    return problem("a dword that is not 1 to 8 hex digits");
                number = (number << 4) | static_cast<DWORD>(d);
            }
            m_current->setValue(name, REG_DWORD,
                                {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)});
            return true;
        }
        DWORD type = REG_BINARY;
        if (startsWithNoCase(rest, "hex:")) {
            rest.remove_prefix(4);
        } else if (startsWithNoCase(rest, "hex(")) {
            const size_t close = rest.find(u')');
            if (close == View::npos || close == 4 || close > 12 || close + 1 >= rest.size() || rest[close + 1] != u':')
                return problem("a hex(type): prefix that is not 1 to 8 hex digits in brackets followed by ':'");
            type = 0;
            for (char16_t c : rest.substr(4, close - 4)) {
                const int d = hexDigit(c);
                if (d < 0)
                    return problem("a hex(type): prefix that is not 1 to 8 hex digits in brackets followed by ':'");
                type = (type << 4) | static_cast<DWORD>(d);
            }
            rest.remove_prefix(close + 2);
        } else {
            return problem("a value that is neither a \"string\", dword:, hex: nor hex(type):");
        }
        std::vector<BYTE> data;
        if (!hexBytes(rest, data))
            return false;
        m_current->setValue(name, type, std::move(data));
        return true;
    }

    // Comma-separated two-digit bytes, continued over following lines by a trailing backslash.
    bool hexBytes(View segment, std::vector<BYTE> &data)
    {
        bool afterContinuation = false;
        while (true) {
            segment = trim(segment);
            if (segment.empty() && afterContinuation)
                return problem("hex data that breaks off after a continued line (cut short?)");
            bool continued = false;
            if (!segment.empty() && segment.back() == u'\\') {
                continued = true;
                segment = trimRight(segment.substr(0, segment.size() - 1));
            }
            size_t pos = 0;
            while (pos < segment.size()) {
                size_t comma = segment.find(u',', pos);
                const bool last = comma == View::npos;
                if (last)
                    comma = segment.size();
                const View token = trim(segment.substr(pos, comma - pos));
                if (token.size() != 2 || hexDigit(token[0]) < 0 || hexDigit(token[1]) < 0)
                    return problem("hex data that is not comma-separated pairs of hex digits");
                if (data.size() >= kMaxValueDataBytes)
                    return problem("a value larger than " + std::to_string(kMaxValueDataBytes) + " bytes");
                data.push_back(static_cast<BYTE>(hexDigit(token[0]) * 16 + hexDigit(token[1])));
                pos = comma + 1;
                // A comma may end the segment only when the bytes go on on the next line.
                if (!last && pos == segment.size() && !continued)
                    return problem("hex data that ends with a comma");
            }
            if (!continued)
                return true;
            if (++m_index >= m_lines.size()) {
                m_index = m_lines.size() - 1;
                return problem("the file ends inside hex data (cut short?)");
            }
            segment = m_lines[m_index];
            afterContinuation = true;
        }
    }

    std::u16string m_rootFolded;
    RegKey &m_root;
    RegKey *m_current = nullptr;
    bool m_inDeletedSection = false;
    std::vector<View> m_lines;
    size_t m_index = 0;
    std::string m_problem;
};

// ---- writing ---------------------------------------------------------------------------------

void appendEscaped(std::u16string &out, View text)
{
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out.push_back(u'\\');
        out.push_back(c);
    }
}

// The text of a REG_SZ when it can be written as a quoted string without losing a byte.
bool plainString(const std::vector<BYTE> &data, std::u16string &text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const size_t units = data.size() / 2;
    text.resize(units - 1);
    for (size_t i = 0; i < units; ++i) {
        const char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (i + 1 == units) {
            if (c != 0)
                return false;
            break;
        }
        if (c == 0 || c == u'\n' || c == u'\r')
            return false;
        text[i] = c;
    }
    return true;
}

void appendAscii(std::u16string &out, std::string_view ascii)
{
    for (char c : ascii)
        out.push_back(static_cast<char16_t>(c));
}

void appendHex(std::u16string &line, std::u16string &out, const std::vector<BYTE> &data)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        line.push_back(static_cast<char16_t>(digits[data[i] >> 4]));
        line.push_back(static_cast<char16_t>(digits[data[i] & 0xF]));
        if (i + 1 < data.size()) {
            line.push_back(u',');
            // Wrapped near 80 columns, as the registry editor exports.
            if (line.size() > 76) {
                line += u"\\";
                line += kLineEnd;
                out += line;
                line.assign(u"  ");
            }
        }
    }
}

void appendValue(std::u16string &out, const RegValue &value)
{
    std::u16string line;
    if (value.name.empty()) {
        line.push_back(u'@');
    } else {
        line.push_back(u'"');
        appendEscaped(line, value.name);
        line.push_back(u'"');
    }
    line.push_back(u'=');
    std::u16string text;
    if (value.type == REG_SZ && plainString(value.data, text)) {
        line.push_back(u'"');
        appendEscaped(line, text);
        line.push_back(u'"');
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (DWORD(value.data[3]) << 24);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        appendAscii(line, buffer);
    } else {
        if (value.type == REG_BINARY) {
            appendAscii(line, "hex:");
        } else {
            char buffer[24];
            std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
            appendAscii(line, buffer);
        }
        appendHex(line, out, value.data);
    }
    line += kLineEnd;
    out += line;
}

void appendKey(std::u16string &out, const RegKey &key, const std::u16string &path, bool isRoot)
{
    if (!isRoot || !key.values().empty()) {
        out.push_back(u'[');
        out += path;
        out.push_back(u']');
        out += kLineEnd;
        for (const RegValue &value : key.values())
            appendValue(out, value);
        out += kLineEnd;
    }
    key.forEachSubKey([&](const RegKey &sub) { appendKey(out, sub, path + u"\\" + sub.name(), false); });
}

} // namespace

bool parseHive(std::string_view bytes, std::u16string_view rootName, RegKey &root, std::string &error)
{
    std::u16string text;
    if (!decodeFile(bytes, text, error))
        return false;
    Parser parser(rootName, root);
    return parser.run(text, error);
}

bool serializeHive(const RegKey &root, std::u16string_view rootName, std::string &out)
{
    std::u16string text;
    appendAscii(text, kHiveHeader);
    text += kLineEnd;
    text += kLineEnd;
    appendKey(text, root, std::u16string(rootName), true);
    out.clear();
    out.reserve(kUtf16ByteOrderMark.size() + text.size() * 2);
    out += kUtf16ByteOrderMark;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return true;
}

} // namespace VexoOS::Platform
