// Output files that appear whole or not at all, and the file helpers every medium shares. Part of
// the media library (libthreeway_media.so) that the tool and its image and video plug-ins link.
#pragma once

#include <string>

namespace threeway::cli {

// A file that is written under a temporary name in the directory of `finalPath` and renamed to
// `finalPath` by Commit. Until then the destructor removes it.
class PendingFile {
 public:
  explicit PendingFile(std::string finalPath);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& temporaryPath() const { return temporary_; }
  const std::string& finalPath() const { return final_; }
  // Writes `contents` as the whole temporary file. Throws ToolError.
  void WriteAll(const std::string& contents);
  // Renames the temporary file to the final path. Throws ToolError.
  void Commit();

 private:
  std::string final_;
  std::string temporary_;
  bool committed_ = false;
};

// True when both paths name the same existing file (same device and inode), or the same path once
// made absolute and normal. "-" is never the same as anything.
bool SameFile(const std::string& a, const std::string& b);

// The tool never writes over its input: throws ToolError ("refusing to overwrite the input ...",
// then `advice` when given) when `output` is the same file as `input`.
void RefuseToOverwriteInput(const std::string& input, const std::string& output, const std::string& advice = "");

// Reads a whole file ("-": standard input) into memory. Throws ToolError.
std::string ReadWholeFile(const std::string& path);

}  // namespace threeway::cli
