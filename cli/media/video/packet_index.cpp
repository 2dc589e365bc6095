#include "cli/media/video/packet_index.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

namespace threeway::cli {

std::optional<PacketIndex> PacketIndex::Read(AVStream* stream) {
  const int count = avformat_index_get_entries_count(stream);
  if (stream->nb_frames <= 0 || count != stream->nb_frames) return std::nullopt;
  PacketIndex index;
  index.entries_.reserve(static_cast<std::size_t>(count));
  std::int64_t frames = 0;
  for (int i = 0; i < count; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(stream, i);
    if (entry == nullptr || entry->timestamp == AV_NOPTS_VALUE) return std::nullopt;
    if (i > 0 && entry->timestamp <= index.entries_.back().decodeTimestamp) return std::nullopt;
    const bool shown = (entry->flags & AVINDEX_DISCARD_FRAME) == 0;
    index.entries_.push_back({entry->timestamp, frames, (entry->flags & AVINDEX_KEYFRAME) != 0, shown});
    if (shown) ++frames;
  }
  return index;
}

std::ptrdiff_t PacketIndex::KeyFrameAtOrBefore(std::int64_t frame, std::ptrdiff_t below) const {
  // framesBefore never decreases along the entries: the first entry past `frame`, then back to a key frame.
  const auto end = entries_.begin() + std::clamp<std::ptrdiff_t>(below, 0, size());
  auto it = std::upper_bound(entries_.begin(), end, frame,
                             [](std::int64_t value, const Entry& entry) { return value < entry.framesBefore; });
  while (it != entries_.begin()) {
    --it;
    if (it->key && it->shown) return it - entries_.begin();
  }
  return -1;
}

std::ptrdiff_t PacketIndex::KeyFrameAfter(std::ptrdiff_t entry) const {
  for (std::ptrdiff_t next = entry + 1; next < size(); ++next) {
    if (key(next)) return next;
  }
  return -1;
}

std::ptrdiff_t PacketIndex::EntryAt(std::int64_t decodeTimestamp) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), decodeTimestamp,
                                   [](const Entry& entry, std::int64_t value) { return entry.decodeTimestamp < value; });
  return it != entries_.end() && it->decodeTimestamp == decodeTimestamp ? it - entries_.begin() : -1;
}

}  // namespace threeway::cli
