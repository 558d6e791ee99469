// Test support for the store and its users: a scratch folder and a file
// system that fails on demand. Used by tests only.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "tests/support/TempFolder.h"

namespace qf::store::testing {

using qf::testing::readBytes;
using qf::testing::TempFolder;
using qf::testing::writeBytes;

// The real file system, every call passed on: a test overrides the calls
// it changes.
class ForwardingFileSystem : public base::FileSystem {
  public:
    Result<std::unique_ptr<base::File>> open(const std::string& path,
                                             base::OpenMode mode) override {
        return real().open(path, mode);
    }
    Result<std::unique_ptr<base::File>> createNew(const std::string& path,
                                                  std::optional<unsigned> permissions) override {
        return real().createNew(path, permissions);
    }
    Result<unsigned> permissions(const std::string& path) override {
        return real().permissions(path);
    }
    Status rename(const std::string& from, const std::string& to) override {
        return real().rename(from, to);
    }
    Status renameNoReplace(const std::string& from, const std::string& to) override {
        return real().renameNoReplace(from, to);
    }
    Status remove(const std::string& path) override { return real().remove(path); }
    Result<std::uint64_t> size(const std::string& path) override { return real().size(path); }
    Status syncFolder(const std::string& folder) override { return real().syncFolder(folder); }

  protected:
    static base::FileSystem& real() { return base::posixFileSystem(); }
};

// What a power cut keeps of the writes that were not yet synced.
enum class PowerCut {
    kDropUnsynced,  // none of them: the file is as its last fsync left it
    kTearUnsynced,  // the first half of each, as a write cut off mid-way
};

// Wraps the POSIX file system and fails the n-th changing operation (open
// for writing, create, write, kernel copy, flush, sync, truncate, rename,
// remove, folder sync), counted from 1. A failing write or copy first writes
// half of its bytes, as a full disk or a power cut would. Without kernel copies
// (withoutKernelCopy) every copy goes through the buffer loop, as on a file
// system that does not support them. In crash mode every operation after the failure
// fails too, so nothing gets cleaned up: the files stay as a crash left them.
//
// Power-cut mode (withPowerCut) is a crash at the n-th operation that also
// takes away what the disk had not been made to keep: every write not
// followed by an fsync of its file is dropped or torn, and every create,
// rename or remove not followed by an fsync of its folder is undone. The
// files the wrapper touched are rewritten on the real disk as the cut left
// them; files it never touched, and folders, count as durable. cutPower()
// cuts at once (after an operation that completed).
class FaultyFileSystem final : public base::FileSystem {
  public:
    explicit FaultyFileSystem(int failAt, bool crash = false) : m_failAt(failAt), m_crash(crash) {}

    FaultyFileSystem& withoutKernelCopy() {
        m_kernelCopy = false;
        return *this;
    }

    // `afterCut` runs once the disk holds what the cut left (a forked run
    // ends its process there, so that its sockets drop as the power's would).
    FaultyFileSystem& withPowerCut(PowerCut mode, std::function<void()> afterCut = {}) {
        m_power.emplace();
        m_power->mode = mode;
        m_power->afterCut = std::move(afterCut);
        m_crash = true;
        return *this;
    }

    // Counts only the steps whose description ("sync <path>", "open <path>"
    // …) is `what`: a test can aim at one file's step whatever else the run
    // writes before it.
    FaultyFileSystem& countingOnly(std::string what) {
        m_countedStep = std::move(what);
        return *this;
    }

    // The files whose path passes `kept` reach the disk whole before the
    // cut, names too, as when the kernel wrote them back on its own, while
    // the other unsynced writes go.
    FaultyFileSystem& writtenBackBeforeCut(std::function<bool(const std::string&)> kept) {
        m_power->writtenBack = std::move(kept);
        return *this;
    }

    int operations() const { return m_count; }
    // The counted steps so far, described as countingOnly takes them: a
    // test finds the number of the step it wants to cut before.
    const std::vector<std::string>& steps() const { return m_steps; }
    bool failed() const { return m_failed; }

    void cutPower() {
        m_failed = true;
        m_crashed = true;
        if (m_power) {
            m_power->writeBack();
            m_power->apply();
            if (m_power->afterCut) {
                m_power->afterCut();
            }
        }
    }

    Result<std::unique_ptr<base::File>> open(const std::string& path,
                                             base::OpenMode mode) override {
        if (mode != base::OpenMode::kRead) {
            if (Status s = step("open " + path); !s) {
                return s;
            }
        } else if (m_crashed) {
            return Status::ioError("crashed");
        }
        const int known = m_power ? m_power->idOf(path) : -1;
        auto file = base::posixFileSystem().open(path, mode);
        int id = known;
        if (file && m_power) {
            if (id < 0) {
                id = m_power->created(path, 0644);
            } else if (mode == base::OpenMode::kTruncate) {
                m_power->files[static_cast<std::size_t>(id)].pending.push_back({0, {}, true});
            }
        }
        return wrapped(std::move(file), path, id);
    }
    Result<std::unique_ptr<base::File>> createNew(const std::string& path,
                                                  std::optional<unsigned> permissions) override {
        if (Status s = step("create " + path); !s) {
            return s;
        }
        const bool taken = m_power && m_power->idOf(path) >= 0;
        auto file = base::posixFileSystem().createNew(path, permissions);
        int id = -1;
        if (file && m_power && !taken) {
            id = m_power->created(path, permissions.value_or(0644));
        }
        return wrapped(std::move(file), path, id);
    }
    Result<unsigned> permissions(const std::string& path) override {
        if (m_crashed) {
            return Status::ioError("crashed");
        }
        return base::posixFileSystem().permissions(path);
    }
    Status rename(const std::string& from, const std::string& to) override {
        Status s = step("rename " + from);
        if (s && m_power) {
            m_power->beforeRename(from, to);
        }
        s = s ? base::posixFileSystem().rename(from, to) : s;
        if (s && m_power) {
            m_power->renamed(from, to);
        }
        return s;
    }
    Status renameNoReplace(const std::string& from, const std::string& to) override {
        Status s = step("rename " + from);
        if (s && m_power) {
            m_power->beforeRename(from, to);
        }
        s = s ? base::posixFileSystem().renameNoReplace(from, to) : s;
        if (s && m_power) {
            m_power->renamed(from, to);
        }
        return s;
    }
    Status remove(const std::string& path) override {
        Status s = step("remove " + path);
        if (s && m_power) {
            (void)m_power->idOf(path);
        }
        s = s ? base::posixFileSystem().remove(path) : s;
        if (s && m_power) {
            m_power->current.erase(path);
        }
        return s;
    }
    Result<std::uint64_t> size(const std::string& path) override {
        if (m_crashed) {
            return Status::ioError("crashed");
        }
        return base::posixFileSystem().size(path);
    }
    Status syncFolder(const std::string& folder) override {
        Status s = step("sync folder " + folder);
        s = s ? base::posixFileSystem().syncFolder(folder) : s;
        if (s && m_power) {
            m_power->folderSynced(folder);
        }
        return s;
    }

  private:
    // A change to a file's bytes that no fsync has made durable yet.
    struct Pending {
        std::uint64_t offset;
        std::string bytes;
        bool truncate = false;  // to `offset` bytes
    };
    // One file as the disk knows it (an inode: it keeps its identity across
    // renames).
    struct ModelFile {
        std::string durable;  // the bytes as of its last fsync
        std::vector<Pending> pending;
        unsigned permissions = 0644;
    };
    // The model behind power-cut mode: files by identity, and the names the
    // folders hold now and as of their last fsync.
    struct PowerModel {
        // Declared, so that clang can make one before this class is complete.
        PowerModel() {}

        PowerCut mode = PowerCut::kDropUnsynced;
        std::function<void()> afterCut;
        std::function<bool(const std::string&)> writtenBack;
        std::vector<ModelFile> files;
        std::map<std::string, int> current;
        std::map<std::string, int> durable;

        // The file of `path` now, -1 when there is none. A path seen for the
        // first time is learnt from the disk, as durable.
        int idOf(const std::string& path) {
            if (auto it = current.find(path); it != current.end()) {
                return it->second;
            }
            if (durable.contains(path) || learnt.contains(path)) {
                return -1;
            }
            learnt.insert(path);
            std::error_code error;
            if (!std::filesystem::is_regular_file(path, error)) {
                return -1;
            }
            ModelFile file;
            file.durable = readBytes(path);
            file.permissions = static_cast<unsigned>(std::filesystem::status(path).permissions());
            files.push_back(std::move(file));
            const int id = static_cast<int>(files.size()) - 1;
            current[path] = id;
            durable[path] = id;
            return id;
        }
        int created(const std::string& path, unsigned permissions) {
            files.push_back({});
            files.back().permissions = permissions;
            const int id = static_cast<int>(files.size()) - 1;
            current[path] = id;
            learnt.insert(path);
            return id;
        }
        void beforeRename(const std::string& from, const std::string& to) {
            (void)idOf(from);
            (void)idOf(to);  // its durable bytes must be known before they go
        }
        void renamed(const std::string& from, const std::string& to) {
            if (auto it = current.find(from); it != current.end()) {
                current[to] = it->second;
                current.erase(it);
            }
        }
        void folderSynced(const std::string& folder) {
            std::set<std::string> names;
            for (const auto& [path, id] : current) {
                names.insert(path);
            }
            for (const auto& [path, id] : durable) {
                names.insert(path);
            }
            for (const std::string& path : names) {
                if (base::folderOf(path) != folder) {
                    continue;
                }
                if (auto it = current.find(path); it != current.end()) {
                    durable[path] = it->second;
                } else {
                    durable.erase(path);
                }
            }
        }
        void writeBack() {
            for (const auto& [path, id] : current) {
                if (writtenBack && writtenBack(path)) {
                    files[static_cast<std::size_t>(id)].durable = readBytes(path);
                    files[static_cast<std::size_t>(id)].pending.clear();
                    durable[path] = id;
                }
            }
        }
        // The bytes the disk holds for a file after the cut.
        std::string bytesAfterCut(const ModelFile& file) const {
            std::string bytes = file.durable;
            if (mode != PowerCut::kTearUnsynced) {
                return bytes;
            }
            for (const Pending& change : file.pending) {
                if (change.truncate) {
                    bytes.resize(static_cast<std::size_t>(change.offset), '\0');
                    continue;
                }
                const std::size_t kept = change.bytes.size() / 2;
                const auto at = static_cast<std::size_t>(change.offset);
                if (bytes.size() < at + kept) {
                    bytes.resize(at + kept, '\0');
                }
                bytes.replace(at, kept, change.bytes, 0, kept);
            }
            return bytes;
        }
        // Rewrites every file the model knows as the cut left it.
        void apply() const {
            std::error_code ignored;
            for (const auto& [path, id] : current) {
                std::filesystem::remove(path, ignored);
            }
            for (const auto& [path, id] : durable) {
                std::filesystem::remove(path, ignored);
                const ModelFile& file = files[static_cast<std::size_t>(id)];
                writeBytes(path, bytesAfterCut(file));
                std::filesystem::permissions(path, std::filesystem::perms(file.permissions),
                                             ignored);
            }
        }

        std::set<std::string> learnt;
    };

    class FaultyFile final : public base::File {
      public:
        FaultyFile(FaultyFileSystem& fs, std::unique_ptr<base::File> file, std::string path, int id)
            : m_fs(fs), m_file(std::move(file)), m_path(std::move(path)), m_id(id) {}

        Result<std::size_t> readAt(std::uint64_t offset, std::span<char> out) override {
            if (m_fs.m_crashed) {
                return Status::ioError("crashed");
            }
            return m_file->readAt(offset, out);
        }
        Status writeAt(std::uint64_t offset, std::span<const char> data) override {
            if (Status s = m_fs.step("write " + m_path); !s) {
                if (!m_fs.m_power) {
                    (void)m_file->writeAt(offset, data.first(data.size() / 2));
                }
                return s;
            }
            Status s = m_file->writeAt(offset, data);
            if (s) {
                note({offset, std::string(data.data(), data.size())});
            }
            return s;
        }
        Status flush() override {
            Status s = m_fs.step("flush " + m_path);
            return s ? m_file->flush() : s;
        }
        Status sync() override {
            Status s = m_fs.step("sync " + m_path);
            s = s ? m_file->sync() : s;
            if (s && model() != nullptr) {
                model()->durable = wholeFile();
                model()->pending.clear();
            }
            return s;
        }
        Result<std::uint64_t> size() override {
            if (m_fs.m_crashed) {
                return Status::ioError("crashed");
            }
            return m_file->size();
        }
        Status truncate(std::uint64_t lengthBytes) override {
            Status s = m_fs.step("truncate " + m_path);
            s = s ? m_file->truncate(lengthBytes) : s;
            if (s) {
                note({lengthBytes, {}, true});
            }
            return s;
        }
        Result<std::uint64_t> copyInKernel(base::File& source, std::uint64_t sourceOffset,
                                           std::uint64_t offset,
                                           std::uint64_t lengthBytes) override {
            if (!m_fs.m_kernelCopy) {
                return std::uint64_t{0};
            }
            auto* faulty = dynamic_cast<FaultyFile*>(&source);
            base::File& from = faulty != nullptr ? *faulty->m_file : source;
            if (Status s = m_fs.step("copy into " + m_path); !s) {
                if (!m_fs.m_power) {
                    (void)m_file->copyInKernel(from, sourceOffset, offset, lengthBytes / 2);
                }
                return s;
            }
            auto copied = m_file->copyInKernel(from, sourceOffset, offset, lengthBytes);
            if (copied && copied.value() > 0 && model() != nullptr) {
                std::string bytes(static_cast<std::size_t>(copied.value()), '\0');
                (void)m_file->readAt(offset, bytes);
                note({offset, std::move(bytes)});
            }
            return copied;
        }

      private:
        ModelFile* model() {
            return m_fs.m_power && m_id >= 0 ? &m_fs.m_power->files[static_cast<std::size_t>(m_id)]
                                             : nullptr;
        }
        void note(Pending change) {
            if (ModelFile* file = model()) {
                file->pending.push_back(std::move(change));
            }
        }
        std::string wholeFile() {
            auto length = m_file->size();
            std::string bytes(length ? static_cast<std::size_t>(length.value()) : 0, '\0');
            (void)m_file->readAt(0, bytes);
            return bytes;
        }

        FaultyFileSystem& m_fs;
        std::unique_ptr<base::File> m_file;
        std::string m_path;
        int m_id;
    };

    Result<std::unique_ptr<base::File>> wrapped(Result<std::unique_ptr<base::File>> file,
                                                const std::string& path, int id) {
        if (!file) {
            return file.status();
        }
        return std::unique_ptr<base::File>(
            std::make_unique<FaultyFile>(*this, std::move(file).value(), path, id));
    }

    Status step(const std::string& what) {
        if (m_crashed) {
            return Status::ioError("crashed before " + what);
        }
        if (m_countedStep && what != *m_countedStep) {
            return Status::ok();
        }
        m_steps.push_back(what);
        if (++m_count != m_failAt) {
            return Status::ok();
        }
        m_failed = true;
        m_crashed = m_crash;
        if (m_power) {
            cutPower();
            return Status::ioError("power cut before " + what);
        }
        // As a full disk fails: the OS's own text is what the user sees.
        return systemFailure("injected failure: " + what, ENOSPC);
    }

    int m_failAt;
    bool m_crash;
    bool m_crashed = false;
    bool m_failed = false;
    bool m_kernelCopy = true;
    int m_count = 0;
    std::optional<std::string> m_countedStep;
    std::vector<std::string> m_steps;
    std::optional<PowerModel> m_power;
};

}  // namespace qf::store::testing
