// Test support for the store and its users: a scratch folder and a file
// system that fails on demand. Used by tests only.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store/FileSystem.h"

namespace qf::store::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillfern-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made != nullptr ? made : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Wraps the POSIX file system and fails the n-th changing operation (open
// for writing, create, write, kernel copy, flush, sync, truncate, rename,
// remove, folder sync), counted from 1. A failing write or copy first writes
// half of its bytes, as a full disk or a power cut would. Without kernel copies
// (withoutKernelCopy) every copy goes through the buffer loop, as on a file
// system that does not support them. In crash mode every operation after the failure
// fails too, so nothing gets cleaned up: the files stay as a crash left them.
class FaultyFileSystem final : public FileSystem {
  public:
    explicit FaultyFileSystem(int failAt, bool crash = false) : m_failAt(failAt), m_crash(crash) {}

    FaultyFileSystem& withoutKernelCopy() {
        m_kernelCopy = false;
        return *this;
    }

    int operations() const { return m_count; }
    bool failed() const { return m_failed; }

    Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
        if (mode != OpenMode::kRead) {
            if (Status s = step("open " + path); !s) {
                return s;
            }
        } else if (m_crashed) {
            return Status::ioError("crashed");
        }
        return wrapped(posixFileSystem().open(path, mode), path);
    }
    Result<std::unique_ptr<File>> createNew(const std::string& path,
                                            std::optional<unsigned> permissions) override {
        if (Status s = step("create " + path); !s) {
            return s;
        }
        return wrapped(posixFileSystem().createNew(path, permissions), path);
    }
    Result<unsigned> permissions(const std::string& path) override {
        if (m_crashed) {
            return Status::ioError("crashed");
        }
        return posixFileSystem().permissions(path);
    }
    Status rename(const std::string& from, const std::string& to) override {
        Status s = step("rename " + from);
        return s ? posixFileSystem().rename(from, to) : s;
    }
    Status renameNoReplace(const std::string& from, const std::string& to) override {
        Status s = step("rename " + from);
        return s ? posixFileSystem().renameNoReplace(from, to) : s;
    }
    Status remove(const std::string& path) override {
        Status s = step("remove " + path);
        return s ? posixFileSystem().remove(path) : s;
    }
    Result<std::uint64_t> size(const std::string& path) override {
        if (m_crashed) {
            return Status::ioError("crashed");
        }
        return posixFileSystem().size(path);
    }
    Status syncFolder(const std::string& folder) override {
        Status s = step("sync folder " + folder);
        return s ? posixFileSystem().syncFolder(folder) : s;
    }

  private:
    class FaultyFile final : public File {
      public:
        FaultyFile(FaultyFileSystem& fs, std::unique_ptr<File> file, std::string path)
            : m_fs(fs), m_file(std::move(file)), m_path(std::move(path)) {}

        Result<std::size_t> readAt(std::uint64_t offset, std::span<char> out) override {
            if (m_fs.m_crashed) {
                return Status::ioError("crashed");
            }
            return m_file->readAt(offset, out);
        }
        Status writeAt(std::uint64_t offset, std::span<const char> data) override {
            if (Status s = m_fs.step("write " + m_path); !s) {
                (void)m_file->writeAt(offset, data.first(data.size() / 2));
                return s;
            }
            return m_file->writeAt(offset, data);
        }
        Status flush() override {
            Status s = m_fs.step("flush " + m_path);
            return s ? m_file->flush() : s;
        }
        Status sync() override {
            Status s = m_fs.step("sync " + m_path);
            return s ? m_file->sync() : s;
        }
        Result<std::uint64_t> size() override {
            if (m_fs.m_crashed) {
                return Status::ioError("crashed");
            }
            return m_file->size();
        }
        Status truncate(std::uint64_t lengthBytes) override {
            Status s = m_fs.step("truncate " + m_path);
            return s ? m_file->truncate(lengthBytes) : s;
        }
        Result<std::uint64_t> copyInKernel(File& source, std::uint64_t sourceOffset,
                                           std::uint64_t offset,
                                           std::uint64_t lengthBytes) override {
            if (!m_fs.m_kernelCopy) {
                return std::uint64_t{0};
            }
            auto* faulty = dynamic_cast<FaultyFile*>(&source);
            File& from = faulty != nullptr ? *faulty->m_file : source;
            if (Status s = m_fs.step("copy into " + m_path); !s) {
                (void)m_file->copyInKernel(from, sourceOffset, offset, lengthBytes / 2);
                return s;
            }
            return m_file->copyInKernel(from, sourceOffset, offset, lengthBytes);
        }

      private:
        FaultyFileSystem& m_fs;
        std::unique_ptr<File> m_file;
        std::string m_path;
    };

    Result<std::unique_ptr<File>> wrapped(Result<std::unique_ptr<File>> file,
                                          const std::string& path) {
        if (!file) {
            return file.status();
        }
        return std::unique_ptr<File>(
            std::make_unique<FaultyFile>(*this, std::move(file).value(), path));
    }

    Status step(const std::string& what) {
        if (m_crashed) {
            return Status::ioError("crashed before " + what);
        }
        if (++m_count != m_failAt) {
            return Status::ok();
        }
        m_failed = true;
        m_crashed = m_crash;
        return Status::ioError("injected failure: " + what);
    }

    int m_failAt;
    bool m_crash;
    bool m_crashed = false;
    bool m_failed = false;
    bool m_kernelCopy = true;
    int m_count = 0;
};

}  // namespace qf::store::testing
