// The search of a text in UTF-8 or GBK bytes, undecoded where that can tell (the keys' bytes
// and filters: scan/byte_keys.h); the rest of the text goes to a search of its decoded units.
#include <algorithm>
#include <bit>
#include <cstring>

#include "scan/matcher.h"
#include "scan/text_encoding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"

namespace tesqua {

ByteSearch::ByteSearch(const Matcher& matcher, bool track_points) : matcher_(matcher) {
  found_.track_points = track_points;
  Reset();
}

void ByteSearch::Reset() {
  byte_keys_ = nullptr;
  size_ = 0;
  next_ = 0;
  base_ = 0;
  sync_ = 0;
  found_.Reset(matcher_.offsets_.size());
  decoded_.reset();
  decoded_from_ = 0;
}

void ByteSearch::Feed(std::string_view bytes, ByteEncoding encoding) {
  if (byte_keys_ == nullptr || byte_keys_->encoding != encoding) UseByteKeys(encoding);
  if (Done()) return;
  if (decoded_) {
    FeedDecoded(bytes);
    return;
  }
  FeedPiece(bytes);
}

void ByteSearch::Finish() {
  if (!decoded_ && !Done() && byte_keys_->longest > 0) Search(size_, size_);
  if (decoded_) {
    decoded_->Finish();  // also when a special character near the end started it just now
  } else if (found_.track_points) {
    CountBytes(size_);
  }
}

std::uint64_t ByteSearch::First(std::uint32_t key) const {
  if (found_.first[key] == kNotFound && decoded_ && decoded_->Found().first[key] != kNotFound) {
    return decoded_from_ + decoded_->Found().first[key];
  }
  return found_.first[key];
}

void ByteSearch::AppendFound(std::vector<std::uint32_t>& keys) const {
  keys.insert(keys.end(), found_.found.begin(), found_.found.end());
  if (decoded_)
    keys.insert(keys.end(), decoded_->Found().found.begin(), decoded_->Found().found.end());
}

TextPoint ByteSearch::Point(std::uint32_t key) const {
  if (found_.first[key] == kNotFound && decoded_ && decoded_->Found().first[key] != kNotFound) {
    // Counted from where the decoded text starts.
    const TextPoint point = decoded_->Found().points.Points()[key];
    return point.line == 1 ? TextPoint{decoded_origin_.line, decoded_origin_.column + point.column}
                           : TextPoint{decoded_origin_.line + point.line - 1, point.column};
  }
  return found_.points.Points()[key];
}

// The keys of encoding from here on: from the start, or after ASCII (which reads the same in
// UTF-8 and GBK) when the text turns out to be GBK.
void ByteSearch::UseByteKeys(ByteEncoding encoding) {
  byte_keys_ = &matcher_.BytesFor(encoding);
  std::memcpy(live_low_, byte_keys_->low, sizeof live_low_);
  for (int bucket = 0; bucket < ByteKeys::kBuckets; ++bucket) {
    bucket_left_[bucket] = 0;
    for (const std::uint32_t pattern : byte_keys_->bucket_patterns[bucket]) {
      const std::uint32_t key = byte_keys_->patterns[pattern].key;
      // A special pattern is never done with.
      if (key == ByteKeys::kSpecial || found_.first[key] == kNotFound) ++bucket_left_[bucket];
    }
  }
  sync_ = 0;  // ASCII so far: every byte starts a character
  // Keys of no byte form can only be found in the decoded text: decoded from here on, and
  // from as far back as a key reaches.
  if (byte_keys_->needs_decoding && !decoded_) StartDecoding(size_);
}

void ByteSearch::FeedPiece(std::string_view piece) {
  const ByteKeys& keys = *byte_keys_;
  constexpr std::size_t kPadding = kBytePadding;
  // The bytes kept from before and the start of the piece are searched in bytes_; the rest of
  // a long piece where it lies, up to its last bytes, which are kept for the next piece.
  const std::size_t seam = keys.history + keys.longest + 2 * kPadding;
  const std::size_t head = std::min(piece.size(), seam);
  ShiftBytes(KeptFrom());
  if (bytes_.size() < size_ + head + kPadding) bytes_.resize(size_ + head + kPadding);
  std::memcpy(bytes_.data() + size_, piece.data(), head);
  size_ += head;
  std::memset(bytes_.data() + size_, 0, kPadding);
  text_ = bytes_.data();
  if (head == piece.size()) {
    if (keys.longest > 0 && size_ >= keys.longest) Search(size_ - (keys.longest - 1), size_);
    return;
  }
  const std::size_t before = size_ - head;  // where the piece starts in bytes_
  Search(size_ - (keys.longest + kPadding), size_);
  if (decoded_) {
    FeedDecoded(piece.substr(head));
    return;
  }
  if (Done()) return;
  if (keys.encoding == ByteEncoding::kGbk) AdvanceSync(next_ - keys.history);
  // Positions now count from the piece's start.
  ShiftPositions(before);
  text_ = reinterpret_cast<const unsigned char*>(piece.data());
  size_ = piece.size();
  Search(size_ - (keys.longest + kPadding), size_);
  if (decoded_ || Done()) {
    // Nothing more is searched here; the piece is gone once this returns: what is found is
    // placed now (decoding did so already), and no byte of the piece is kept.
    if (found_.track_points && !decoded_) CountBytes(size_);
    text_ = bytes_.data();
    size_ = next_ = 0;
    found_.points.Forget();
    return;
  }
  const std::size_t keep = KeptFrom();
  size_ -= keep;
  if (bytes_.size() < size_ + kPadding) bytes_.resize(size_ + kPadding);
  std::memcpy(bytes_.data(), text_ + keep, size_);
  std::memset(bytes_.data() + size_, 0, kPadding);
  ShiftPositions(keep);
  text_ = bytes_.data();
}

// The first byte that a search to come may look back to: the bytes of a key's start before
// its window, of a character that a special one may belong to, and those not yet counted.
std::size_t ByteSearch::KeptFrom() {
  const ByteKeys& keys = *byte_keys_;
  std::size_t keep = next_ > keys.history ? next_ - keys.history : 0;
  if (keys.encoding == ByteEncoding::kGbk) {
    AdvanceSync(keep);
    keep = std::min(keep, sync_);
  }
  if (found_.track_points) keep = std::min(keep, found_.points.Counted());
  return keep;
}

// Drops the bytes of bytes_ before keep.
void ByteSearch::ShiftBytes(std::size_t keep) {
  if (keep == 0) return;
  std::memmove(bytes_.data(), bytes_.data() + keep, size_ - keep);
  size_ -= keep;
  ShiftPositions(keep);
}

void ByteSearch::ShiftPositions(std::size_t by) {
  base_ += by;
  next_ -= by;
  sync_ = sync_ > by ? sync_ - by : 0;  // UTF-8 has no sync_
  found_.points.Shift(by);
}

void ByteSearch::Search(std::size_t end, std::size_t limit) {
  const ByteKeys& keys = *byte_keys_;
  const unsigned char* bytes = text_;
  // No key has bytes to look for (every one is of a kind the encoding cannot hold): nothing
  // to filter, and the filters' tables are empty.
  std::size_t at = keys.patterns.empty() ? end : next_;
  if (keys.nibbles) {
    alignas(64) unsigned char bucket_bits[128];
    const auto next_candidates = Kernels().next_nibble_candidates;
    while (at < end && !Done()) {
      std::uint64_t candidates = 0;
      at = next_candidates(bytes, at, end, live_low_, keys.high, bucket_bits, candidates);
      while (candidates != 0) {
        const std::size_t offset = std::size_t(std::countr_zero(candidates));
        candidates &= candidates - 1;
        const unsigned buckets = bucket_bits[offset] | unsigned(bucket_bits[64 + offset]) << 8;
        for (unsigned left = buckets; left != 0; left &= left - 1) {
          for (const std::uint32_t pattern : keys.bucket_patterns[std::countr_zero(left)]) {
            VerifyPattern(pattern, at + offset, at + offset, limit);
          }
        }
        if (decoded_) return;
      }
      if (at < end) at += 64;
    }
  } else {
    ShiftCandidates found;
    const auto next_candidates = Kernels().next_shift_candidates;
    while (at < end && !Done()) {
      at = next_candidates(bytes, at, end, keys, found);
      for (unsigned starts = found.starts; starts != 0 && !decoded_; starts &= starts - 1) {
        const std::size_t position = at + std::size_t(std::countr_zero(starts));
        for (const std::uint32_t pattern : keys.short_patterns[bytes[position]]) {
          VerifyPattern(pattern, position, position, limit);
        }
      }
      if (decoded_) return;
      for (int half = 0; half < 2; ++half) {
        for (std::uint64_t open = found.open[half]; open != 0 && !Done(); open &= open - 1) {
          const auto bit = unsigned(std::countr_zero(open));
          // Where the bucket's last window may lie.
          const std::size_t last = at + 8 * std::size_t(half) + bit / 8;
          for (unsigned spans = keys.bucket_spans[bit % 8]; spans != 0; spans &= spans - 1) {
            const auto span = unsigned(std::countr_zero(spans));
            // The bytes the filter looked at start in the text.
            if (last + ByteKeys::kWindow < span) continue;
            const ByteKeys::ConfirmSlot* slot =
                keys.FindConfirm(ByteKeys::ConfirmKey(bytes + last, span), span);
            if (slot == nullptr) continue;
            for (std::uint32_t i = slot->first; i < slot->first + slot->count; ++i) {
              const std::uint32_t pattern = keys.confirm_patterns[i];
              const std::uint32_t before = keys.patterns[pattern].window;
              if (last >= before) VerifyPattern(pattern, last - before, last, limit);
            }
            if (decoded_) return;
          }
        }
      }
      if (at < end) at += 16;
    }
  }
  if (decoded_) return;
  next_ = std::max(next_, std::min(at, end));
  if (found_.track_points) {
    // Behind the search by as much as a key starts before its window, or as decoding starts
    // before a special character.
    CountBytes(next_ > keys.history ? next_ - keys.history : 0);
  }
}

void ByteSearch::VerifyPattern(std::uint32_t index, std::size_t start, std::size_t scanned,
                               std::size_t limit) {
  const ByteKeys& keys = *byte_keys_;
  const BytePattern& pattern = keys.patterns[index];
  if (start + pattern.length > limit) return;
  if (pattern.key != ByteKeys::kSpecial && found_.first[pattern.key] != kNotFound) return;
  if (!keys.Matches(pattern, text_ + start)) return;
  // A GBK trail byte may look like an ASCII letter: a key starts on a character.
  if (keys.encoding == ByteEncoding::kGbk && !StartsCharacter(start, scanned)) return;
  if (pattern.key == ByteKeys::kSpecial) {
    StartDecoding(start);
    return;
  }
  found_.Record(pattern.key, start, base_);
  if (keys.nibbles) {
    for (int bucket = 0; bucket < ByteKeys::kBuckets; ++bucket) {
      const auto& list = keys.bucket_patterns[bucket];
      if (std::find(list.begin(), list.end(), index) == list.end()) continue;
      if (--bucket_left_[bucket] == 0) {  // the bucket has nothing left to find
        for (auto& row : live_low_[bucket / 8]) {
          for (unsigned char& cell : row) cell &= static_cast<unsigned char>(~(1u << (bucket % 8)));
        }
      }
    }
  }
}

// Walks GBK characters from the last byte below 0x40 before at (no trail byte is that low, so
// a character starts after it), or from sync_. scanned: where the filter's window lay.
bool ByteSearch::StartsCharacter(std::size_t at, std::size_t scanned) {
  std::size_t walk = at;
  while (walk > sync_ && text_[walk - 1] >= 0x40) --walk;
  // No later candidate starts before this: a key starts at most its length before its window.
  const std::size_t settled = scanned > byte_keys_->longest ? scanned - byte_keys_->longest : 0;
  while (walk < at) {
    if (walk <= settled) sync_ = walk;
    walk += CharacterLength(ByteEncoding::kGbk, text_ + walk, size_ - walk);
  }
  return walk == at;
}

void ByteSearch::AdvanceSync(std::size_t target) {
  if (target <= sync_) return;
  std::size_t from = target;
  while (from > sync_ && text_[from - 1] >= 0x40) --from;
  while (from < target) {
    const std::size_t length = CharacterLength(ByteEncoding::kGbk, text_ + from, size_ - from);
    if (from + length > target) break;
    from += length;
  }
  sync_ = from;
}

void ByteSearch::StartDecoding(std::size_t at) {
  // Back far enough for any key that holds the character at at.
  const std::size_t back = byte_keys_->history;
  std::size_t from = at > back ? at - back : 0;
  if (byte_keys_->encoding == ByteEncoding::kUtf8) {
    while (from < at && IsUtf8Continuation(text_[from])) ++from;
  } else {
    AdvanceSync(from);
    from = std::min(from, sync_);
  }
  if (from > 0 && text_[from - 1] == '\r' && text_[from] == '\n') ++from;  // one line break
  if (found_.track_points) CountBytes(from);
  decoded_origin_ = found_.points.Here();
  decoded_from_ = base_ + from;
  decoded_ = std::make_unique<UnitSearch>(matcher_, found_.track_points);
  FeedDecoded(std::string_view(reinterpret_cast<const char*>(text_) + from, size_ - from));
  if (found_.track_points) CountBytes(size_);  // places the keys found before
}

void ByteSearch::FeedDecoded(std::string_view bytes) {
  if (bytes.empty()) return;
  if (byte_keys_->encoding == ByteEncoding::kUtf8) {
    if (decoded_units_.size() < bytes.size()) decoded_units_.resize(bytes.size());
    std::size_t written = 0;
    bool ill_formed = false;
    DecodeUtf8Prefix(bytes, true, true, true, decoded_units_.data(), written, ill_formed);
    decoded_->Feed(std::u16string_view(decoded_units_.data(), written), true);
  } else {
    decoded_->Feed(DecodeGbk(bytes), false);
  }
}

void ByteSearch::CountBytes(std::size_t end) {
  found_.points.Advance(text_, end, size_, byte_keys_->encoding);
}

}  // namespace tesqua
