// One text fed in pieces, to the search of its units or of its bytes, and what it found.
#include <algorithm>

#include "scan/matcher.h"

namespace tesqua {

void Findings::Reset(std::size_t keys) {
  // Texts are mostly small and find few keys of a large library: undone one by one.
  if (first.size() == keys) {
    for (const std::uint32_t key : found) first[key] = kNotFound;
  } else {
    first.assign(keys, kNotFound);
  }
  points.Reset(track_points ? keys : 0, found);
  found.clear();
  remaining = keys;
}

MatchStream::MatchStream(const Matcher& matcher, bool track_points)
    : matcher_(matcher), track_points_(track_points), units_(matcher, track_points) {}

void MatchStream::Reset() {
  fed_ = 0;
  finished_ = false;
  units_.Reset();
  if (bytes_) bytes_->Reset();
  bytes_fed_ = false;
}

void MatchStream::Feed(std::u16string_view units, bool folded) {
  if (units.empty() || finished_) return;
  fed_ += units.size();
  if (!Done()) units_.Feed(units, folded);
}

void MatchStream::FeedBytes(std::string_view bytes, ByteEncoding encoding) {
  if (bytes.empty() || finished_) return;
  fed_ += bytes.size();
  if (!bytes_) bytes_ = std::make_unique<ByteSearch>(matcher_, track_points_);
  bytes_fed_ = true;
  bytes_->Feed(bytes, encoding);
}

void MatchStream::Finish() {
  if (finished_) return;
  finished_ = true;
  if (bytes_fed_) {
    bytes_->Finish();
  } else {
    units_.Finish();
  }
}

std::vector<KeyHit> MatchStream::Hits() const {
  std::vector<std::uint32_t> found;
  if (bytes_fed_) {
    bytes_->AppendFound(found);
  } else {
    found = units_.Found().found;
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  std::vector<KeyHit> hits;
  if (fed_ > 0) {  // the empty key is found at the first unit or byte
    for (std::uint32_t given = matcher_.first_given_[matcher_.offsets_.size()];
         given != Matcher::kEmptyKey; given = matcher_.next_given_[given]) {
      hits.push_back(KeyHit{given, 0, TextPoint{1, 1}});
    }
  }
  for (const std::uint32_t id : found) {
    const std::uint64_t position = bytes_fed_ ? bytes_->First(id) : units_.Found().first[id];
    TextPoint point;
    if (track_points_) point = bytes_fed_ ? bytes_->Point(id) : units_.Found().points.Points()[id];
    for (std::uint32_t given = matcher_.first_given_[id]; given != Matcher::kEmptyKey;
         given = matcher_.next_given_[given]) {
      hits.push_back(KeyHit{given, position, point});
    }
  }
  std::sort(hits.begin(), hits.end(),
            [](const KeyHit& a, const KeyHit& b) { return a.key < b.key; });
  return hits;
}

std::vector<std::uint64_t> MatchStream::FirstPositions() const {
  std::vector<std::uint64_t> positions(matcher_.key_ids_.size(), kNotFound);
  for (const KeyHit& hit : Hits()) positions[hit.key] = hit.position;
  return positions;
}

std::vector<TextPoint> MatchStream::FirstPoints() const {
  std::vector<TextPoint> points(matcher_.key_ids_.size());
  for (const KeyHit& hit : Hits()) points[hit.key] = hit.point;
  return points;
}

}  // namespace tesqua
