#include "engine/formatio.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
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

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::atomic<OutputSet*> g_activeSet{nullptr};

// Holds back the catchable termination signals while files move into place.
struct SignalHold {
    sigset_t previous;
    SignalHold() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        sigaddset(&held, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalHold() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

void RemoveStaged(const std::vector<StagedFiles>& staged) {
    for (const StagedFiles& files : staged) {
        for (const auto& move : files.moves)
            ::unlink(move.first.c_str());
        if (!files.scratch.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(files.scratch, ec);
        }
    }
}

// A copy of an earlier file under a hidden name beside it: a hard link, or a copy
// where the file system has none.
bool MakeBackup(const std::string& path, std::string& backup) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        backup = FolderOf(path) + "/." + BaseName(path) + ".backup-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter++);
        if (::link(path.c_str(), backup.c_str()) == 0)
            return true;
        if (errno == EEXIST)
            continue;
        std::error_code ec;
        if (std::filesystem::copy_file(path, backup, ec))
            return true;
        ::unlink(backup.c_str());
        return false;
    }
    return false;
}

// Moves every staged file into place, or none (see OutputSet::Commit).
bool CommitStaged(const std::vector<StagedFiles>& staged, std::string& error) {
    const SignalHold hold;
    std::vector<std::pair<std::string, std::string>> moves;
    std::set<std::string> finals, obsolete;
    for (const StagedFiles& files : staged) {
        moves.insert(moves.end(), files.moves.begin(), files.moves.end());
        for (const auto& move : files.moves)
            finals.insert(move.second);
        obsolete.insert(files.obsolete.begin(), files.obsolete.end());
    }
    // A file placed now is never obsolete, however its path is spelled ("./a.tif.aux.xml", "a.tif.aux.xml").
    const auto normal = [](const std::string& path) {
        return std::filesystem::path(path).lexically_normal();
    };
    std::erase_if(obsolete, [&](const std::string& path) {
        return std::any_of(finals.begin(), finals.end(),
                           [&](const std::string& f) { return normal(f) == normal(path); });
    });

    bool ok = true;
    struct stat info {};
    for (const auto& [temp, final] : moves) {
        if (::lstat(temp.c_str(), &info) != 0) {
            error = SystemError("cannot find the temporary file", temp);
            ok = false;
        } else if (::stat(final.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            error = "cannot replace \"" + final + "\": it is a folder";
            ok = false;
        } else if (::access(FolderOf(final).c_str(), W_OK) != 0) {
            error = SystemError("cannot write in", FolderOf(final));
            ok = false;
        }
        if (!ok)
            break;
    }
    // Every earlier file that may change gets a backup first.
    std::map<std::string, std::string> backups; // final -> backup
    if (ok) {
        std::vector<std::string> earlier(finals.begin(), finals.end());
        earlier.insert(earlier.end(), obsolete.begin(), obsolete.end());
        for (const std::string& path : earlier) {
            if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
                continue;
            std::string backup;
            if (!MakeBackup(path, backup)) {
                error = SystemError("cannot keep a copy of", path);
                ok = false;
                break;
            }
            backups[path] = backup;
        }
    }
    std::size_t done = 0;
    for (; ok && done < moves.size(); ++done)
        if (::rename(moves[done].first.c_str(), moves[done].second.c_str()) != 0) {
            error = SystemError("cannot move the output into place:", moves[done].second);
            ok = false;
            break;
        }
    if (!ok) {
        // Undo: each moved file gives way to its earlier file, or goes.
        for (std::size_t i = 0; i < done; ++i) {
            const std::string& final = moves[i].second;
            const auto backup = backups.find(final);
            if (backup != backups.end()) {
                if (::rename(backup->second.c_str(), final.c_str()) == 0)
                    backups.erase(backup);
            } else {
                ::unlink(final.c_str());
            }
        }
    } else {
        for (const std::string& path : obsolete)
            if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
                ::unlink(path.c_str());
    }
    for (const auto& backup : backups)
        ::unlink(backup.second.c_str());
    RemoveStaged(staged); // what was moved is no longer there: only leftovers go
    return ok;
}

} // namespace

OutputSet::OutputSet() : m_previous(g_activeSet.exchange(this)) {}

OutputSet::~OutputSet() {
    Discard();
    g_activeSet = m_previous;
}

OutputSet* OutputSet::Active() {
    return g_activeSet.load();
}

void OutputSet::Stage(StagedFiles files) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_staged.push_back(std::move(files));
}

bool OutputSet::Empty() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_staged.empty();
}

bool OutputSet::Commit(std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<StagedFiles> staged = std::move(m_staged);
    m_staged.clear();
    return CommitStaged(staged, error);
}

void OutputSet::Discard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    RemoveStaged(m_staged);
    m_staged.clear();
}

bool PlaceFiles(StagedFiles files, std::string& error) {
    if (OutputSet* set = OutputSet::Active()) {
        set->Stage(std::move(files));
        return true;
    }
    return CommitStaged({std::move(files)}, error);
}

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> files;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return files;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) == 0 && name != "." && name != "..")
            files.push_back(folder + "/" + name);
    }
    ::closedir(dir);
    return files;
}

namespace {

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
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    if (!PlaceFiles({{{temp, path}}, {}, {}}, error))
        return false;
    how = ReplaceFailure::None;
    return true;
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
