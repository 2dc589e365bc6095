#include "cli/media/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/tool_error.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

std::string SystemError() { return std::strerror(errno); }

// Links followed before the path is taken as a loop (the kernel's own limit).
constexpr int kMaxLinksFollowed = 40;

// `path` with every symbolic link in its last component followed, so that the file a link names
// is the one replaced and the link itself stays.
std::string FollowLinks(const std::string& path) {
  fs::path at(path);
  for (int i = 0; i < kMaxLinksFollowed; ++i) {
    struct stat status;
    if (::lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return at.string();
    std::error_code error;
    const fs::path next = fs::read_symlink(at, error);
    if (error) return at.string();
    at = next.is_absolute() ? next : at.parent_path() / next;
  }
  throw ToolError("cannot write " + path + ": too many levels of symbolic links");
}

// Writes all of `size` bytes to `fd`, retrying short writes; false with errno set on a failure.
bool WriteFully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = ::write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = ENOSPC;
      return false;
    }
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

// fsync, where the file system has it (some answer EINVAL: nothing to flush there).
bool Sync(int fd) { return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS; }

}  // namespace

PendingFile::PendingFile(std::string finalPath, Overwrite overwrite) : final_(std::move(finalPath)) {
  target_ = FollowLinks(final_);
  struct stat status;
  if (::stat(target_.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) throw ToolError("cannot write " + final_ + ": " + std::strerror(EISDIR));
    if (S_ISREG(status.st_mode)) {
      if (overwrite == Overwrite::kRefuse) throw ToolError(final_ + " already exists (-y replaces it)");
      existed_ = true;
      mode_ = status.st_mode & 07777;
      owner_ = status.st_uid;
      group_ = status.st_gid;
      links_ = status.st_nlink;
    } else {
      stream_ = true;  // a device, a pipe or a socket
    }
  }
  if (stream_) {
    writePath_ = target_;
    return;
  }
  static std::atomic<unsigned> serial{0};
  const fs::path path(target_);
  writePath_ = (path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(serial++) + ".partial"))
                   .string();
}

PendingFile::~PendingFile() {
  if (!committed_ && !stream_) std::remove(writePath_.c_str());
}

void PendingFile::WriteAll(const std::string& contents) {
  const int fd = ::open(writePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw ToolError("cannot write " + final_ + ": " + SystemError());
  const bool written = WriteFully(fd, contents.data(), contents.size());
  const std::string writeError = written ? std::string() : SystemError();
  if (::close(fd) != 0 || !written) throw ToolError("cannot write " + final_ + ": " + (written ? SystemError() : writeError));
}

void PendingFile::Commit() {
  if (stream_) {
    committed_ = true;
    return;
  }
  const auto fail = [&](const std::string& what) { throw ToolError("cannot write " + final_ + ": " + what); };
  const int fd = ::open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(SystemError());
  const bool synced = Sync(fd);
  const std::string syncError = synced ? std::string() : SystemError();
  ::close(fd);
  if (!synced) fail(syncError);
  if (existed_) {
    if (::chmod(writePath_.c_str(), mode_) != 0) fail(SystemError());
    // The owner is kept where the tool may give the file away (as root, or when it is the owner
    // already); otherwise the new file is the user's own, as any new file would be.
    if (::chown(writePath_.c_str(), owner_, group_) != 0 && errno != EPERM) fail(SystemError());
  }
  if (existed_ && links_ > 1) {
    // Other names share the old file: rewrite it in place, so they see the new contents too. The
    // temporary file is removed first, so the rewrite has the room it took and never meets a
    // full disk that the temporary file itself filled.
    const std::string contents = ReadWholeFile(writePath_, SIZE_MAX, "file");
    std::remove(writePath_.c_str());
    const int out = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) fail(SystemError());
    const bool written = WriteFully(out, contents.data(), contents.size()) && Sync(out);
    const std::string writeError = written ? std::string() : SystemError();
    if (::close(out) != 0 || !written) {
      fail((written ? SystemError() : writeError) + " (the file, shared by " + std::to_string(links_) +
           " hard links, was rewritten in place and is incomplete)");
    }
  } else if (std::rename(writePath_.c_str(), target_.c_str()) != 0) {
    fail(SystemError());
  }
  committed_ = true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  std::error_code error;
  const fs::path pa = fs::weakly_canonical(fs::absolute(a, error), error);
  const fs::path pb = fs::weakly_canonical(fs::absolute(b, error), error);
  return !error && pa == pb;
}

void RefuseToOverwriteInput(const std::string& input, const std::string& output, const std::string& advice) {
  if (SameFile(output, input)) {
    throw ToolError("refusing to overwrite the input " + input + " with " + output + (advice.empty() ? "" : " (" + advice + ")"));
  }
}

std::string ReadWholeFile(const std::string& path, std::size_t limit, const std::string& what) {
  const std::string name = path == "-" ? "standard input" : path;
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ToolError("cannot read " + name + ": " + SystemError());
  std::string text;
  std::string failure;
  char buffer[1 << 16];
  while (failure.empty()) {
    // An interrupted read is not retried: the signals that interrupt one are the stop signals.
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      failure = SystemError();
    } else if (text.size() + static_cast<std::size_t>(got) > limit) {
      failure = "more than " + std::to_string(limit) + " bytes, the most a " + what + " may have";
    } else {
      text.append(buffer, static_cast<std::size_t>(got));
    }
  }
  if (path != "-") ::close(fd);
  if (!failure.empty()) throw ToolError("cannot read " + name + ": " + failure);
  return text;
}

}  // namespace threeway::cli
