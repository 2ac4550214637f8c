// One text fed in pieces, to the search of its units or of its bytes, and what it found.
#include "scan/matcher.h"

namespace tesqua {

void Findings::Reset(std::size_t keys) {
  first.assign(keys, kNotFound);
  points.Reset(track_points ? keys : 0);
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

std::vector<std::uint64_t> MatchStream::FirstPositions() const {
  std::vector<std::uint64_t> positions;
  positions.reserve(matcher_.key_ids_.size());
  for (const std::uint32_t id : matcher_.key_ids_) {
    if (id == Matcher::kEmptyKey) {
      positions.push_back(fed_ > 0 ? 0 : kNotFound);
    } else {
      positions.push_back(bytes_fed_ ? bytes_->First(id) : units_.Found().first[id]);
    }
  }
  return positions;
}

std::vector<TextPoint> MatchStream::FirstPoints() const {
  std::vector<TextPoint> points;
  points.reserve(matcher_.key_ids_.size());
  for (const std::uint32_t id : matcher_.key_ids_) {
    if (id == Matcher::kEmptyKey) {
      points.push_back(fed_ > 0 ? TextPoint{1, 1} : TextPoint{});
    } else if (!track_points_) {
      points.push_back(TextPoint{});
    } else {
      points.push_back(bytes_fed_ ? bytes_->Point(id) : units_.Found().points.Points()[id]);
    }
  }
  return points;
}

}  // namespace tesqua
