#pragma once
// The classification assistant file (".acf") that accompanies a classified image: the
// class table (class value i of the image is the i-th record, record 0 being
// "Unclassified") and the ground size of one pixel. The text format is described in
// docs/formats.md.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The assistant file paired with a classified image: the image path up to its
// last "." (folders included in the search) followed by ".acf"; a path without
// any "." gets ".acf" appended. Every writer and reader of the pair uses it.
std::wstring PairedAssistantFilePath(const std::wstring& imagePath);
// Whether the assistant file of the image exists as a regular file (tested
// through its narrow path, as the C runtime sees it).
bool AssistantFileExists(const std::wstring& imagePath);

// One class of a classified image.
struct ClassRecord {
    std::wstring m_name;
    int m_classNumber = 0;
    int m_reserved = 0; // free for the writer; Tessera writes 0
    std::int64_t m_pixelCount = 0;
    std::uint32_t m_colour = 0; // 0x00BBGGRR, red in the low byte

    bool operator==(const ClassRecord&) const = default;
};

class CClassifiedAssistantFile {
public:
    // Limits the reader enforces, and the writer too so that what it writes reads back.
    static constexpr int kMaxClassCount = 65536;
    static constexpr std::size_t kMaxFileBytes = 64u * 1024u * 1024u;

    CClassifiedAssistantFile() = default;
    CClassifiedAssistantFile(const CClassifiedAssistantFile& other);
    CClassifiedAssistantFile& operator=(const CClassifiedAssistantFile& other);
    CClassifiedAssistantFile(CClassifiedAssistantFile&&) noexcept = default;
    CClassifiedAssistantFile& operator=(CClassifiedAssistantFile&&) noexcept = default;
    ~CClassifiedAssistantFile() = default;

    // Replaces the contents with the file's. On failure the object is left empty (no
    // classes, pixel size 0 by 0) and GetLastError() says why.
    bool ReadClassifiedAssistantFile(const std::wstring& path);
    // Writes the contents through a temporary file beside path and a rename, so an
    // earlier file at path survives any failure. Refuses (false) contents the reader
    // would reject: more than kMaxClassCount classes, a negative pixel count, a
    // non-finite pixel size.
    bool WriteClassifiedAssistantFile(const std::wstring& path) const;
    const std::string& GetLastError() const { return m_lastError; }

    int GetClassCount() const { return static_cast<int>(m_records.size()); }
    // The records in file order; the pointers stay owned by this object and are valid
    // until Clear, a read, or an assignment to it.
    const std::vector<ClassRecord*>& GetClassRecords() const { return m_records; }
    // The record at a position, or null when out of range.
    ClassRecord* GetClassRecord(int index) const;
    // Appends a record and returns it.
    ClassRecord* AddClass(const std::wstring& name, int classNumber, std::int64_t pixelCount,
                          std::uint32_t colour = 0, int reserved = 0);
    ClassRecord* AddClass(const ClassRecord& record);
    // Empties the class table and resets the pixel size to 0 by 0.
    void Clear();

    double GetPixelSizeX() const { return m_pixelSizeX; }
    double GetPixelSizeY() const { return m_pixelSizeY; }
    void SetPixelSizeX(double size) { m_pixelSizeX = size; }
    void SetPixelSizeY(double size) { m_pixelSizeY = size; }
    void SetPixelSize(double x, double y) {
        m_pixelSizeX = x;
        m_pixelSizeY = y;
    }

    // Same class table (record by record) and same pixel size.
    bool operator==(const CClassifiedAssistantFile& other) const;

    // The file text of the contents, and its parser (also used by the tests and the
    // fuzz targets); ParseText leaves the object untouched on failure.
    std::string ToText() const;
    bool ParseText(const std::string& text, std::string& error);

private:
    std::vector<std::unique_ptr<ClassRecord>> m_storage;
    std::vector<ClassRecord*> m_records; // views of m_storage, same order
    double m_pixelSizeX = 0.0;
    double m_pixelSizeY = 0.0;
    mutable std::string m_lastError;
};
