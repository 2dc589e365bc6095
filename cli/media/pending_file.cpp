#include "cli/media/pending_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "cli/tool_error.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

std::string SystemError() { return std::strerror(errno); }

}  // namespace

PendingFile::PendingFile(std::string finalPath) : final_(std::move(finalPath)) {
  static std::atomic<unsigned> serial{0};
  const fs::path path(final_);
  temporary_ = (path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(serial++) + ".partial"))
                   .string();
}

PendingFile::~PendingFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

void PendingFile::WriteAll(const std::string& contents) {
  std::FILE* file = std::fopen(temporary_.c_str(), "wb");
  if (file == nullptr) throw ToolError("cannot write " + final_ + ": " + SystemError());
  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  const std::string writeError = written ? std::string() : SystemError();
  if (std::fclose(file) != 0 || !written) {
    throw ToolError("cannot write " + final_ + ": " + (written ? SystemError() : writeError));
  }
}

void PendingFile::Commit() {
  if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
    throw ToolError("cannot write " + final_ + ": " + SystemError());
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

std::string ReadWholeFile(const std::string& path) {
  std::ostringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ToolError("cannot read " + path + ": " + SystemError());
    text << file.rdbuf();
    if (file.bad()) throw ToolError("cannot read " + path + ": " + SystemError());
  }
  return text.str();
}

}  // namespace threeway::cli
