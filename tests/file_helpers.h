#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace ostrel::test {

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A folder of the running test's own, removed with everything in it
// afterwards, even where the test took its write permission away.
class TestFolder {
public:
    explicit TestFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path()
            / (prefix + std::to_string(::getpid()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A small file system of its own (tmpfs), to fill up: only where the test may
// mount one (as root); mounted() says whether it was, and why not.
class SmallFileSystem {
public:
    SmallFileSystem(const std::filesystem::path& where, const std::string& size)
        : path_(where)
    {
        std::filesystem::create_directories(path_);
        const std::string command
            = "mount -t tmpfs -o size=" + size + " tmpfs '" + path_.string() + "' 2>&1";
        if (::geteuid() != 0) {
            why_ = "mounting a tmpfs needs root";
            return;
        }
        mounted_ = std::system(command.c_str()) == 0;
        if (!mounted_)
            why_ = "mount -t tmpfs was refused here";
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            std::system(("umount '" + path_.string() + "'").c_str());
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& whyNot() const { return why_; }
    // Fills it with a file until fewer than `leave` bytes are free.
    void fill(std::size_t leave)
    {
        std::ofstream filler(path_ / "filler", std::ios::binary);
        const std::string block(1024, 'f');
        while (Free() > leave + block.size())
            filler.write(block.data(), static_cast<std::streamsize>(block.size())).flush();
        while (Free() > leave && filler.put('f').flush()) { }
    }
    std::size_t Free() const { return std::filesystem::space(path_).available; }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
    std::string why_;
};

} // namespace ostrel::test
