// Writes a byte buffer to a gzip file and reads gzip data back (zlib). Meant for files of a few
// kilobytes. Stateless: the operations are static and may be called on a default-constructed
// object as well.
#pragma once

#include <string>
#include <vector>

// Thrown by value when a gzip file cannot be written or read, or the input is empty.
enum eGzipError { eGzipFailed = 0 };

class GzipCompressor {
public:
    // Writes `data` gzip-compressed to `path` (created or truncated); returns gzclose's result,
    // 0 on success. Throws eGzipError for empty data or an unopenable path.
    static int compress(const std::vector<char>& data, const std::string& path);
    // The decompressed content of a gzip file; a plain file comes back unchanged.
    // Throws eGzipError when the file cannot be opened.
    static std::vector<char> decompress(const std::string& path);
    // The decompressed content of one gzip stream held in memory; empty on any failure.
    static std::vector<char> decompress(const std::vector<char>& data);
};
