// What the harnesses share: a scratch folder of their own, whole-file writes, and inputs cut into
// the files of one table.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fuzz {

// A folder for this process alone, removed at exit. Never destroyed itself, so that the removal
// at exit can still name it.
inline const std::string &scratch()
{
    static const std::string *dir = [] {
        char pattern[] = "/tmp/velmora-fuzz-XXXXXX";
        const char *made = ::mkdtemp(pattern);
        if (!made)
            std::abort();
        auto *path = new std::string(std::string(made) + "/");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch(), ignored);
        });
        return path;
    }();
    return *dir;
}

inline void writeFile(const std::string &path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Cuts an input into `count` parts: each part but the last is preceded by its length as four
// little-endian bytes (cut short where the input ends). So one input holds a table and its memo
// file, and the seeds are made by joining real files that way.
inline std::vector<std::string_view> parts(const std::uint8_t *data, std::size_t size, int count)
{
    std::vector<std::string_view> out;
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    for (int i = 0; i + 1 < count; ++i) {
        std::uint32_t length = 0;
        for (std::size_t b = 0; b < 4 && b < rest.size(); ++b)
            length |= std::uint32_t(std::uint8_t(rest[b])) << (8 * b);
        rest.remove_prefix(std::min<std::size_t>(4, rest.size()));
        const std::size_t taken = std::min<std::size_t>(length, rest.size());
        out.push_back(rest.substr(0, taken));
        rest.remove_prefix(taken);
    }
    out.push_back(rest);
    return out;
}

} // namespace fuzz
