#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>

// A fresh folder under the system's temporary directory, removed with everything in it when the
// object goes. Each test gets its own, so tests never share files.
class TempDir
{
public:
    TempDir()
    {
        static std::atomic<int> counter{0};
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            dir = base
                / ("oxel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
            if (std::filesystem::create_directory(dir))
                break;
        }
    }

    ~TempDir()
    {
        std::error_code ec;
        // Folders a test made read-only must become writable again to be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                std::filesystem::perm_options::add, ec);
        std::filesystem::permissions(
            dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir, ec);
    }

    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return dir; }

    std::string file(const std::string &name) const { return (dir / name).string(); }

private:
    std::filesystem::path dir;
};

inline std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Root writes into read-only folders anyway, so such checks only mean something for others.
inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}
