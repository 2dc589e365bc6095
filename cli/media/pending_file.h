// Output files that appear whole or not at all, and the file helpers every medium shares. Part of
// the media library (libthreeway_media.so) that the tool and its image and video plug-ins link.
//
// Every output of every command goes through PendingFile, so every sink follows one rule:
// - a regular file is written under a temporary name beside its target, every write, flush and
//   close checked, synced, and renamed over the target only once every output of the run is
//   complete; a full disk is an error naming the output and the previous file stays as it was;
// - an existing file is replaced only with Overwrite::kReplace (the commands' -y); the new file
//   keeps the old one's permissions (and owner, when the tool may set it), and a file with other
//   hard links is rewritten in place at the end so the links keep sharing it;
// - a symbolic link is followed: its target is written and the link stays;
// - a device, a named pipe or a socket is written in place, never renamed over (no -y needed:
//   such a path is a destination by nature), and a short write to it is an error.
#pragma once

#include <cstddef>
#include <string>

namespace threeway::cli {

// What an output that already exists as a regular file gets.
enum class Overwrite {
  kRefuse,   // an error naming the file (the default, and -n)
  kReplace,  // replaced whole (-y)
};

// A file that is written under a temporary name in the directory of its target and given the
// target's name by Commit. Until then the destructor removes it.
class PendingFile {
 public:
  // Refuses (ToolError) an existing regular file under kRefuse, and a path whose directory does
  // not exist or that names a directory.
  PendingFile(std::string finalPath, Overwrite overwrite);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Where a writer opens the output: the temporary file, or the target itself when that is a
  // device, a pipe or a socket.
  const std::string& writePath() const { return writePath_; }
  // The name the user gave, for messages.
  const std::string& finalPath() const { return final_; }
  // Writes `contents` as the whole output, every write checked. Throws ToolError.
  void WriteAll(const std::string& contents);
  // Syncs the temporary file and gives it the target's name (and the old file's permissions).
  // Nothing to do for a device, a pipe or a socket. Throws ToolError; the target is untouched then.
  void Commit();

 private:
  std::string final_;      // as given
  std::string target_;     // the file written: `final_` with symbolic links followed
  std::string writePath_;  // the temporary file, or target_ for a stream
  bool stream_ = false;    // a device, pipe or socket: written in place
  bool existed_ = false;   // target_ was a regular file when the output was opened
  unsigned mode_ = 0;      // its permission bits, owner and link count then
  unsigned owner_ = 0, group_ = 0;
  unsigned long links_ = 0;
  bool committed_ = false;
};

// True when both paths name the same existing file (same device and inode), or the same path once
// made absolute and normal. "-" is never the same as anything.
bool SameFile(const std::string& a, const std::string& b);

// The tool never writes over its input: throws ToolError ("refusing to overwrite the input ...",
// then `advice` when given) when `output` is the same file as `input`.
void RefuseToOverwriteInput(const std::string& input, const std::string& output, const std::string& advice = "");

// Reads a whole file ("-": standard input) into memory, refusing one of more than `limit` bytes
// (named as "the most a `what` may have"): a device or a pipe that never ends is read only that
// far. A stop signal ends a read that waits for data. Throws ToolError.
std::string ReadWholeFile(const std::string& path, std::size_t limit, const std::string& what);

}  // namespace threeway::cli
