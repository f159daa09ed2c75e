#include "engine/formatio.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera {

namespace formatio {

namespace {

std::string SystemError(const char* what, const std::string& path) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(errno);
}

// Closes a descriptor on every way out.
struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& out, std::string& error) {
    out.clear();
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        error = SystemError("cannot open", path);
        return false;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        error = SystemError("cannot examine", path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file: \"" + path + "\"";
        return false;
    }
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        error = "file too large: \"" + path + "\" (limit " + std::to_string(maxBytes) + " bytes)";
        return false;
    }
    // Read up to one byte beyond the announced size so that a file that grows while
    // it is read is still held to the limit.
    const std::size_t expected = static_cast<std::size_t>(info.st_size);
    out.resize(expected + 1);
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(file.fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = SystemError("cannot read", path);
            out.clear();
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes) {
        error = "file too large: \"" + path + "\"";
        out.clear();
        return false;
    }
    out.resize(got);
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error,
                 ReplaceFailure* failure) {
    ReplaceFailure ignored;
    ReplaceFailure& how = failure ? *failure : ignored;
    how = ReplaceFailure::NotWritten;
    if (path.empty() || path.back() == '/') {
        error = "not a file path: \"" + path + "\"";
        return false;
    }
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        error = "target is a directory: \"" + path + "\"";
        return false;
    }

    // A unique name in the same folder, so the final rename stays on one file system.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    FdCloser file;
    for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
        temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
        file.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd < 0 && errno != EEXIST) {
            error = SystemError("cannot create a file in", FolderOf(path));
            how = ReplaceFailure::NotCreated;
            return false;
        }
    }
    if (file.fd < 0) {
        error = "cannot find a free temporary name beside \"" + path + "\"";
        how = ReplaceFailure::NotCreated;
        return false;
    }

    bool ok = WriteAll(file.fd, bytes) && ::fsync(file.fd) == 0;
    if (!ok)
        error = SystemError("cannot write", temp);
    const int fd = file.fd;
    file.fd = -1;
    if (::close(fd) != 0 && ok) {
        error = SystemError("cannot write", temp);
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot replace", path);
        ok = false;
    }
    if (!ok)
        ::unlink(temp.c_str());
    else
        how = ReplaceFailure::None;
    return ok;
}

std::vector<std::string_view> SplitLines(std::string_view text, bool* lastLineTerminated) {
    std::vector<std::string_view> lines;
    bool terminated = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        terminated = end != std::string_view::npos;
        text.remove_prefix(terminated ? end + 1 : text.size());
        if (terminated && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
    }
    if (lastLineTerminated)
        *lastLineTerminated = terminated;
    return lines;
}

std::string EscapeText(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else
            out += c;
    }
    return out;
}

bool UnescapeText(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else
            return false;
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool IsUnicodeText(std::wstring_view text) {
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

bool ParseInt64(std::string_view field, std::int64_t& value) {
    if (field.empty())
        return false;
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value, 10);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParseInt32(std::string_view field, std::int32_t& value) {
    if (field.empty())
        return false;
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value, 10);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParseUint32Hex(std::string_view field, std::uint32_t& value) {
    if (field.size() < 3 || field.size() > 10 || field[0] != '0' || (field[1] != 'x' && field[1] != 'X'))
        return false;
    field.remove_prefix(2);
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value, 16);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParseFiniteDouble(std::string_view field, double& value) {
    if (field.empty())
        return false;
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

std::string FormatDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatHex32(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

std::string_view TakeWord(std::string_view line, std::string_view& rest, bool& hadSeparator) {
    const std::size_t space = line.find(' ');
    hadSeparator = space != std::string_view::npos;
    if (!hadSeparator) {
        rest = {};
        return line;
    }
    rest = line.substr(space + 1);
    return line.substr(0, space);
}

} // namespace formatio

} // namespace tessera
