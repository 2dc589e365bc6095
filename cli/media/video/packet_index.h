// The container's own list of a video stream's packets, which lets the video reader start decoding
// a range of frames at a key frame near the range instead of at the start of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct AVStream;

namespace threeway::cli {

// Every packet of a video stream in decode order, as the container's index lists them: decode
// timestamp, key frame or not, and how many frames the decoder hands out before it (packets the
// container marks as decoded but not shown, an edit list's, are not counted). MP4, QuickTime and
// AVI keep such an index; Matroska, WebM and MPEG-TS list key frames only or nothing.
class PacketIndex {
 public:
  // The stream's index, or nothing when it does not list every packet: no frame count in the
  // header, fewer or more entries than that count, or decode timestamps that do not strictly
  // increase (then an entry cannot be told by its timestamp).
  static std::optional<PacketIndex> Read(AVStream* stream);

  std::ptrdiff_t size() const { return static_cast<std::ptrdiff_t>(entries_.size()); }
  std::int64_t decodeTimestamp(std::ptrdiff_t entry) const { return entries_[Unsigned(entry)].decodeTimestamp; }
  bool key(std::ptrdiff_t entry) const { return entries_[Unsigned(entry)].key; }
  bool shown(std::ptrdiff_t entry) const { return entries_[Unsigned(entry)].shown; }
  std::int64_t framesBefore(std::ptrdiff_t entry) const { return entries_[Unsigned(entry)].framesBefore; }

  // The last shown key frame before entry `below` with at most `frame` frames before it; -1 when
  // there is none.
  std::ptrdiff_t KeyFrameAtOrBefore(std::int64_t frame, std::ptrdiff_t below) const;
  // The first key frame after entry `entry`; -1 when there is none.
  std::ptrdiff_t KeyFrameAfter(std::ptrdiff_t entry) const;
  // The entry with this decode timestamp; -1 when there is none.
  std::ptrdiff_t EntryAt(std::int64_t decodeTimestamp) const;

 private:
  struct Entry {
    std::int64_t decodeTimestamp;
    std::int64_t framesBefore;
    bool key;
    bool shown;
  };
  static std::size_t Unsigned(std::ptrdiff_t entry) { return static_cast<std::size_t>(entry); }

  std::vector<Entry> entries_;
};

}  // namespace threeway::cli
