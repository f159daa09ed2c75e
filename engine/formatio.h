#pragma once
// Helpers shared by the engine's file formats (.acf, .cif, .aif): bounded whole-file
// reads, replace-by-rename writes (also of the reports and models written elsewhere),
// and the text pieces of the line-oriented formats.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessera {

namespace formatio {

// Reads the whole regular file at the UTF-8 path into out. Fails (with a message in
// error) when the file cannot be opened, is not a regular file, is larger than
// maxBytes or cannot be read completely.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& out, std::string& error);

// How ReplaceFile failed: the temporary file could not be created, or something after
// that (writing, flushing, renaming) or a path that names no file failed.
enum class ReplaceFailure { None, NotCreated, NotWritten };

// Writes bytes to a new temporary file in the target's folder, flushes it to disk and
// moves it over path with PlaceFiles (so, while an OutputSet is active, at that set's
// commit). On any failure the temporary file is removed and whatever was at path
// before is left untouched; failure (when given) tells how it failed.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error,
                 ReplaceFailure* failure = nullptr);

// Files written completely under temporary names, each to be moved over its final
// path; obsolete are final-side files of an earlier output that the new one does not
// replace (a stale ".aux.xml") and go when the moves are done; scratch is a folder to
// remove (with what is left in it) once the moves are done or given up.
struct StagedFiles {
    std::vector<std::pair<std::string, std::string>> moves; // (temporary, final)
    std::vector<std::string> obsolete;
    std::string scratch;
};

// The outputs of one run (a command of the command line): while a set is active,
// PlaceFiles stages files in it instead of moving them, and Commit moves every staged
// file into place at once. Before moving anything, Commit checks every target and
// links each earlier file to a backup; when a move fails, the moves done are undone, so
// the earlier outputs stay byte-identical. Catchable signals (SIGINT, SIGTERM, SIGHUP)
// are held back while files move. A set that is destroyed or discarded before it
// commits removes every temporary file staged in it and nothing else.
class OutputSet {
public:
    OutputSet();  // becomes the active set of the process (one at a time)
    ~OutputSet(); // discards what is still staged; no longer active
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // The active set, or null (the windows write with none: each PlaceFiles commits).
    static OutputSet* Active();

    void Stage(StagedFiles files);
    bool Empty() const;
    // Moves everything staged into place; false with a message naming the file and
    // the reason, and then nothing of the earlier outputs changed.
    bool Commit(std::string& error);
    // Removes the temporary files and scratch folders staged so far.
    void Discard();

private:
    mutable std::mutex m_mutex;
    std::vector<StagedFiles> m_staged;
    OutputSet* m_previous = nullptr;
};

// Moves files written under temporary names into place: staged in the active
// OutputSet when there is one, else committed now as a set of their own. On failure
// (now) the temporaries are removed and the earlier files are left untouched.
bool PlaceFiles(StagedFiles files, std::string& error);

// The files in folder whose names start with prefix (not recursive; none when the
// folder cannot be read).
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix);

// Splits text into lines at "\n"; a "\r" before the "\n" is dropped. A final line
// without "\n" is kept (and flagged through lastLineTerminated).
std::vector<std::string_view> SplitLines(std::string_view text, bool* lastLineTerminated = nullptr);

// Escapes a UTF-8 text so that it stays on one line and keeps leading and trailing
// blanks: "\\" "\n" "\r" "\t" and "\xHH" for the other control bytes (0x00-0x1F, 0x7F).
std::string EscapeText(std::string_view text);
// Reverses EscapeText; false on an unknown or incomplete escape or a raw control byte.
bool UnescapeText(std::string_view text, std::string& out);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values
// beyond U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Whether every code unit of a wide text is a Unicode scalar value, so that its
// UTF-8 form reads back as the same text.
bool IsUnicodeText(std::wstring_view text);

// Whole-field number parsing, locale independent. No leading "+", no blanks.
bool ParseInt64(std::string_view field, std::int64_t& value);
bool ParseInt32(std::string_view field, std::int32_t& value);
bool ParseUint32Hex(std::string_view field, std::uint32_t& value); // "0x" then 1 to 8 hex digits
bool ParseFiniteDouble(std::string_view field, double& value);

// Shortest text that reads back as the same double.
std::string FormatDouble(double value);
// "0x" and eight upper-case hex digits.
std::string FormatHex32(std::uint32_t value);

// Splits off the first blank-separated word of a line: returns it and leaves the rest
// (after exactly one separating space) in rest. Without a space, rest is empty.
std::string_view TakeWord(std::string_view line, std::string_view& rest, bool& hadSeparator);

} // namespace formatio

} // namespace tessera
