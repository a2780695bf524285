#pragma once

#include <filesystem>
#include <string>

// A fresh directory under $TMPDIR, removed with everything in it when the
// object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    // Writes `bytes` to a file under the directory and returns its path.
    std::filesystem::path WriteFile(const std::string& name, const std::string& bytes) const;
    static std::string ReadFile(const std::filesystem::path& path);

private:
    std::filesystem::path m_path;
};
