#pragma once

#include <filesystem>
#include <string>

// A fresh temporary directory that is the working directory while the object lives; removed
// with everything in it afterwards. Tests never touch the user's files.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
