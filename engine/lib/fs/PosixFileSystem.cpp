#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fs/FileSystem.h"

namespace xb {
namespace {

Status ErrnoStatus(const std::string& what, const std::string& path) {
  return Status::Error(what + " " + path + ": " + std::strerror(errno));
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {}
  ~PosixFile() override { ::close(FFd); }

  Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(FFd, static_cast<char*>(buffer) + done, length - done,
                          static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus("cannot read", FPath);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  Status WriteAt(uint64_t offset, const void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pwrite(FFd, static_cast<const char*>(buffer) + done, length - done,
                           static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoStatus("cannot write", FPath);
      }
      done += static_cast<size_t>(n);
    }
    return Status::Ok();
  }

  Status Sync() override {
    if (::fdatasync(FFd) != 0) return ErrnoStatus("cannot sync", FPath);
    return Status::Ok();
  }

  Status Truncate(uint64_t length) override {
    if (::ftruncate(FFd, static_cast<off_t>(length)) != 0)
      return ErrnoStatus("cannot truncate", FPath);
    return Status::Ok();
  }

  Result<uint64_t> Size() override {
    struct stat st;
    if (::fstat(FFd, &st) != 0) return ErrnoStatus("cannot stat", FPath);
    return static_cast<uint64_t>(st.st_size);
  }

  Status Lock(bool exclusive) override {
    // Open-file-description locks conflict between two opens in the same process too, which
    // is what refuses a second exclusive open of one table.
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(FFd, F_OFD_SETLK, &fl) != 0) {
      if (errno == EAGAIN || errno == EACCES)
        return Status::Error("file is in use by another program: " + FPath);
      return ErrnoStatus("cannot lock", FPath);
    }
    return Status::Ok();
  }

 private:
  int FFd;
  std::string FPath;
};

class RealFileSystem final : public FileSystem {
 public:
  Result<std::unique_ptr<File>> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead: flags |= O_RDONLY; break;
      case OpenMode::kReadWrite: flags |= O_RDWR; break;
      case OpenMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return ErrnoStatus("cannot open", path);
    struct stat st;
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
      ::close(fd);
      return Status::Error("not a regular file: " + path);
    }
    return std::unique_ptr<File>(new PosixFile(fd, path));
  }

  Status Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return ErrnoStatus("cannot rename", from);
    return Status::Ok();
  }

  Status Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return ErrnoStatus("cannot remove", path);
    return Status::Ok();
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  Result<std::vector<std::string>> List(const std::string& directory) override {
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return ErrnoStatus("cannot list", directory);
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
  }

  Status SyncDirectory(const std::string& directory) override {
    int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return ErrnoStatus("cannot open directory", directory);
    int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0) return ErrnoStatus("cannot sync directory", directory);
    return Status::Ok();
  }
};

FileSystem* gInstalled = nullptr;

}  // namespace

FileSystem& PosixFileSystem() {
  static RealFileSystem fs;
  return fs;
}

FileSystem& CurrentFileSystem() { return gInstalled ? *gInstalled : PosixFileSystem(); }

void SetFileSystem(FileSystem* fs) { gInstalled = fs; }

}  // namespace xb
