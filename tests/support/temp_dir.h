// A fresh folder under the system's temporary folder for one test, removed
// with the object (also when a test left parts of it read-only).
#pragma once

#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zr417::test {

class TempDir {
public:
    explicit TempDir(const std::string& label = "test")
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / ("zr417-" + label + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
        path_ = tmpl;
    }
    ~TempDir()
    {
        // Only our own folders need opening up for removal. chmod follows
        // links, and a test tree may link to /dev/null or a system file.
        std::error_code ec;
        ::chmod(path_.c_str(), 0755);
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            if (e.symlink_status(ec).type() == std::filesystem::file_type::directory) ::chmod(e.path().c_str(), 0755);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace zr417::test
