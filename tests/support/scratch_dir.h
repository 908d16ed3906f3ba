// A temporary working directory for one test: created and entered on
// construction, left and removed on destruction.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

class scratch_dir {
public:
    scratch_dir() : old_(std::filesystem::current_path())
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "logserver-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
        std::filesystem::current_path(path_);
    }
    ~scratch_dir()
    {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

inline void write_file(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

inline std::string read_file(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
