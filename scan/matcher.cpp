#include "scan/matcher.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "scan/case_folding.h"
#include "scan/text_encoding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"

namespace tesqua {
namespace {

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t kSeed = 0x243F6A8885A308D3ull;

std::uint64_t Mix(std::uint64_t hash, char16_t unit) {
  return (hash ^ unit) * kMultiplier;
}

std::uint64_t HashUnits(const char16_t* units, std::size_t count) {
  std::uint64_t hash = kSeed;
  for (std::size_t i = 0; i < count; ++i) hash = Mix(hash, units[i]);
  return hash;
}

// The slot of a key: the high bits of a multiplication, which every bit of hash reaches.
std::size_t SlotIndex(std::uint64_t hash, std::size_t length) {
  const std::uint64_t mixed = (hash ^ (length * 0xC2B2AE3D27D4EB4Full)) * kMultiplier;
  return std::size_t(mixed >> 32);
}

// The filter's hash of the three units at window, read as one eight-byte word: the fourth
// unit is shifted out. Reads four units, so buffers keep padding behind their text.
std::uint32_t WindowHash(const char16_t* window) {
  std::uint64_t word;
  std::memcpy(&word, window, sizeof word);
  return std::uint32_t(((word << 16) * kMultiplier) >> 48);
}

bool TestBit(const std::uint64_t* bits, std::uint32_t index) {
  return (bits[index >> 6] >> (index & 63)) & 1;
}

void SetBit(std::vector<std::uint64_t>& bits, std::uint32_t index) {
  bits[index >> 6] |= std::uint64_t{1} << (index & 63);
}

// No line break and no second half of a surrogate pair among the eight units.
bool PlainBlock(const char16_t* units) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
  const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16(0x0A)),
                                      _mm_cmpeq_epi16(block, _mm_set1_epi16(0x0D)));
  const __m128i low = _mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(short(0xFC00))),
                                      _mm_set1_epi16(short(0xDC00)));
  return _mm_movemask_epi8(_mm_or_si128(breaks, low)) == 0;
}

// The byte a unit stands for in the nibble prefilter: what packing with unsigned saturation
// makes of it.
unsigned char PackedByte(char16_t unit) {
  if (unit < 0x100) return static_cast<unsigned char>(unit);
  return unit < 0x8000 ? 0xFF : 0x00;
}

}  // namespace

KeyList::KeyList(const std::vector<std::u16string>& keys) {
  std::size_t units = 0;
  for (const std::u16string& key : keys) units += key.size();
  Reserve(keys.size(), units);
  for (const std::u16string& key : keys) Add(key);
}

void KeyList::Reserve(std::size_t keys, std::size_t units) {
  ends_.reserve(keys);
  units_.reserve(units);
}

void KeyList::Add(std::u16string_view first, std::u16string_view second) {
  units_.append(first).append(second);
  ends_.push_back(std::uint32_t(units_.size()));
}

namespace {

// Folds the keys held one after another in units, each on its own: all in one pass, unless a
// key ends in the first half of a surrogate pair and the next begins with a second half, which
// one pass would fold as one character.
void FoldKeys(std::u16string& units, const std::vector<std::uint32_t>& ends) {
  bool joined = false;
  for (const std::uint32_t end : ends) {
    if (end > 0 && end < units.size() && IsHighSurrogate(units[end - 1]) &&
        IsLowSurrogate(units[end])) {
      joined = true;
      break;
    }
  }
  if (!joined) {
    FoldUnits(units.data(), units.size(), units.data());
    return;
  }
  for (std::size_t k = 0, start = 0; k < ends.size(); start = ends[k++]) {
    FoldUnits(units.data() + start, ends[k] - start, units.data() + start);
  }
}

}  // namespace

Matcher::Matcher(const std::vector<std::u16string>& keys) : Matcher(KeyList(keys)) {}

Matcher::Matcher(KeyList keys) {
  const std::size_t count = keys.Size();
  std::size_t capacity = 16;
  while (capacity < count * 2) capacity *= 2;
  slots_.resize(capacity);
  slot_mask_ = capacity - 1;
  key_ids_.reserve(count);
  offsets_.reserve(count);
  lengths_.reserve(count);
  // Folded where they lie; each distinct key is then moved down to follow the one before.
  folded_ = std::move(keys.units_);
  FoldKeys(folded_, keys.ends_);
  std::size_t kept = 0;
  for (std::size_t k = 0, start = 0; k < count; start = keys.ends_[k++]) {
    const std::size_t length = keys.ends_[k] - start;
    if (length == 0) {
      key_ids_.push_back(kEmptyKey);
      has_empty_key_ = true;
      continue;
    }
    const std::uint64_t hash = HashUnits(folded_.data() + start, length);
    const std::uint32_t existing = Find(folded_.data() + start, length, hash);
    if (existing != kEmptyKey) {
      key_ids_.push_back(existing);
      continue;
    }
    std::memmove(folded_.data() + kept, folded_.data() + start, length * sizeof(char16_t));
    const auto id = std::uint32_t(offsets_.size());
    offsets_.push_back(std::uint32_t(kept));
    lengths_.push_back(std::uint32_t(length));
    Insert(id, hash);
    key_ids_.push_back(id);
    kept += length;
    max_length_ = std::max(max_length_, length);
  }
  folded_.resize(kept);
}

const Matcher::UnitTables& Matcher::Units() const {
  std::call_once(lazy_tables_->units_made, [this] {
    auto tables = std::make_unique<UnitTables>();
    BuildUnitTables(*tables);
    lazy_tables_->units = std::move(tables);
  });
  return *lazy_tables_->units;
}

void Matcher::BuildUnitTables(UnitTables& tables) const {
  tables.window_filter.resize(1024);
  tables.unit_filter.resize(1024);
  for (std::uint32_t id = 0; id < offsets_.size(); ++id) {
    const char16_t* folded = folded_.data() + offsets_[id];
    if (lengths_[id] >= 3) {
      const char16_t window[4] = {folded[0], folded[1], folded[2], 0};
      SetBit(tables.window_filter, WindowHash(window));
    } else {
      tables.has_short_keys = true;
      SetBit(tables.unit_filter, folded[0]);
    }
  }
  std::vector<bool> lengths_seen(max_length_ + 1);  // an eighth of a byte a unit of the longest
  for (const std::uint32_t length : lengths_) lengths_seen[length] = true;
  for (std::uint32_t length = 1; length <= max_length_; ++length) {
    if (lengths_seen[length]) tables.distinct_lengths.push_back(length);
  }
  if (!tables.has_short_keys) tables.unit_filter = {};
  const std::size_t distinct = offsets_.size();
  BuildWindowBuckets(tables);
  if (Kernels().unit_nibbles != nullptr && distinct > 0 && distinct <= 64) {
    // Keys with like beginnings share a bucket, so that a bucket's masks stay narrow.
    std::vector<std::uint32_t> order(distinct);
    for (std::uint32_t id = 0; id < distinct; ++id) order[id] = id;
    const auto key = [this](std::uint32_t id) {
      return std::u16string_view(folded_).substr(offsets_[id], lengths_[id]);
    };
    std::sort(order.begin(), order.end(),
              [&key](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
    tables.nibbles.units =
        int(std::min<std::size_t>(3, *std::min_element(lengths_.begin(), lengths_.end())));
    for (std::size_t rank = 0; rank < distinct; ++rank) {
      const auto bucket = static_cast<unsigned char>(1u << (rank * 8 / distinct));
      const std::u16string_view units = key(order[rank]);
      for (int j = 0; j < tables.nibbles.units; ++j) {
        const unsigned char byte = PackedByte(units[std::size_t(j)]);
        for (int lane = 0; lane < 32; lane += 16) {
          tables.nibbles.low[j][lane + (byte & 0x0F)] |= bucket;
          tables.nibbles.high[j][lane + (byte >> 4)] |= bucket;
        }
      }
    }
  }
}

void Matcher::BuildWindowBuckets(UnitTables& tables) const {
  std::vector<std::uint64_t> by_hash;  // window hash above, key below
  for (std::uint32_t id = 0; id < offsets_.size(); ++id) {
    if (lengths_[id] < 3) continue;
    const char16_t* key = folded_.data() + offsets_[id];
    const char16_t window[4] = {key[0], key[1], key[2], 0};
    by_hash.push_back(std::uint64_t{WindowHash(window)} << 32 | id);
  }
  // Window hashes have sixteen bits: two passes of a radix sort order them, and keep the
  // keys of one hash in their order.
  std::vector<std::uint64_t> sorted(by_hash.size());
  for (const int shift : {32, 40}) {
    std::size_t starts[257] = {};
    for (const std::uint64_t item : by_hash) ++starts[((item >> shift) & 0xFF) + 1];
    for (std::size_t digit = 0; digit < 256; ++digit) starts[digit + 1] += starts[digit];
    for (const std::uint64_t item : by_hash) sorted[starts[(item >> shift) & 0xFF]++] = item;
    by_hash.swap(sorted);
  }
  const auto hash_of = [&by_hash](std::size_t i) { return std::uint32_t(by_hash[i] >> 32); };
  std::size_t distinct = 0;
  for (std::size_t i = 0; i < by_hash.size(); ++i) {
    if (i == 0 || hash_of(i) != hash_of(i - 1)) ++distinct;
  }
  std::size_t capacity = 16;
  while (capacity < distinct * 2) capacity *= 2;
  tables.window_buckets.assign(capacity, WindowBucket{});
  tables.window_bucket_mask = capacity - 1;
  tables.window_ids.resize(by_hash.size());
  WindowBucket* bucket = nullptr;
  for (std::size_t i = 0; i < by_hash.size(); ++i) {
    const std::uint32_t hash = hash_of(i);
    if (bucket == nullptr || bucket->hash != hash) {
      std::size_t index = (hash * 0x9E3779B1u >> 8) & tables.window_bucket_mask;
      while (tables.window_buckets[index].hash != ~std::uint32_t{0}) {
        index = (index + 1) & tables.window_bucket_mask;
      }
      bucket = &tables.window_buckets[index];
      *bucket = WindowBucket{hash, std::uint32_t(i), 0};
    }
    tables.window_ids[i] = std::uint32_t(by_hash[i]);
    ++bucket->count;
  }
}

const Matcher::WindowBucket* Matcher::UnitTables::FindWindowBucket(std::uint32_t hash) const {
  for (std::size_t index = (hash * 0x9E3779B1u >> 8) & window_bucket_mask;;
       index = (index + 1) & window_bucket_mask) {
    const WindowBucket& bucket = window_buckets[index];
    if (bucket.hash == hash) return &bucket;
    if (bucket.hash == ~std::uint32_t{0}) return nullptr;
  }
}

std::size_t Matcher::MemoryBytes() const {
  return key_ids_.capacity() * sizeof(std::uint32_t) + folded_.capacity() * sizeof(char16_t) +
         (offsets_.capacity() + lengths_.capacity()) * sizeof(std::uint32_t) +
         slots_.capacity() * sizeof(Slot) + Units().MemoryBytes();
}

std::size_t Matcher::UnitTables::MemoryBytes() const {
  return distinct_lengths.capacity() * sizeof(std::uint32_t) +
         (window_filter.capacity() + unit_filter.capacity()) * sizeof(std::uint64_t) +
         window_buckets.capacity() * sizeof(WindowBucket) +
         window_ids.capacity() * sizeof(std::uint32_t);
}

std::uint32_t Matcher::Find(const char16_t* window, std::size_t length, std::uint64_t hash) const {
  for (std::size_t index = SlotIndex(hash, length) & slot_mask_;;
       index = (index + 1) & slot_mask_) {
    const Slot& slot = slots_[index];
    if (slot.id_plus == 0) return kEmptyKey;
    const std::uint32_t id = slot.id_plus - 1;
    if (slot.tag == std::uint32_t(hash >> 32) && lengths_[id] == length &&
        std::memcmp(folded_.data() + offsets_[id], window, length * sizeof(char16_t)) == 0) {
      return id;
    }
  }
}

void Matcher::Insert(std::uint32_t id, std::uint64_t hash) {
  std::size_t index = SlotIndex(hash, lengths_[id]) & slot_mask_;
  while (slots_[index].id_plus != 0) index = (index + 1) & slot_mask_;
  slots_[index] = Slot{std::uint32_t(hash >> 32), id + 1};
}

const ByteKeys& Matcher::BytesFor(ByteEncoding encoding) const {
  const auto index = std::size_t(encoding);
  std::call_once(lazy_tables_->made[index], [this, encoding, index] {
    std::vector<std::u16string_view> keys;
    keys.reserve(offsets_.size());
    for (std::size_t id = 0; id < offsets_.size(); ++id) {
      keys.push_back(std::u16string_view(folded_).substr(offsets_[id], lengths_[id]));
    }
    lazy_tables_->keys[index] = std::make_unique<ByteKeys>(keys, encoding);
  });
  return *lazy_tables_->keys[index];
}

std::vector<std::uint64_t> Matcher::FirstPositions(std::u16string_view text) const {
  MatchStream stream(*this);
  stream.Feed(text);
  stream.Finish();
  return stream.FirstPositions();
}

MatchStream::MatchStream(const Matcher& matcher, bool track_points)
    : matcher_(matcher), track_points_(track_points) {
  Reset();
}

void MatchStream::Reset() {
  size_ = 0;
  next_ = 0;
  base_ = 0;
  fed_ = 0;
  held_high_ = 0;
  holding_ = false;
  finished_ = false;
  const std::size_t distinct = matcher_.offsets_.size();
  remaining_ = distinct + (matcher_.has_empty_key_ ? 1 : 0);  // the empty key: the first unit
  first_.assign(distinct, kNotFound);
  points_.assign(track_points_ ? distinct : 0, TextPoint{});
  unplaced_.clear();
  counted_ = 0;
  line_ = 1;
  column_ = 0;
  previous_ = 0;
  byte_keys_ = nullptr;
  sync_ = 0;
  decoded_.reset();
  decoded_from_ = 0;
}

void MatchStream::Feed(std::u16string_view units, bool folded) {
  if (units.empty() || finished_) return;
  if (fed_ == 0 && remaining_ > matcher_.offsets_.size()) --remaining_;
  fed_ += units.size();
  if (Done()) return;
  while (!units.empty()) {
    const std::u16string_view piece = units.substr(0, kPiece);
    units.remove_prefix(piece.size());
    FeedPiece(piece, true, folded);
    if (Done()) return;
  }
}

void MatchStream::FeedPiece(std::u16string_view units, bool hold_high_surrogate, bool folded) {
  if (units_ == nullptr) units_ = &matcher_.Units();
  const auto fold = [folded](const char16_t* from, std::size_t count, char16_t* to) {
    if (folded) {
      std::copy_n(from, count, to);
    } else {
      FoldUnits(from, count, to);
    }
  };
  if (next_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + next_, (size_ - next_) * sizeof(char16_t));
    base_ += next_;
    size_ -= next_;
    counted_ -= next_;
    for (auto& found : unplaced_) found.first -= next_;
    next_ = 0;
  }
  // Room for the piece, a held unit and the padding that the filters read past the end.
  if (buffer_.size() < size_ + units.size() + 1 + 8) buffer_.resize(size_ + units.size() + 1 + 8);
  if (holding_) {
    holding_ = false;
    if (IsLowSurrogate(units.front())) {
      const char16_t pair[2] = {held_high_, units.front()};
      fold(pair, 2, buffer_.data() + size_);
      size_ += 2;
      units.remove_prefix(1);
    } else {
      buffer_[size_++] = held_high_;  // unpaired, folds onto itself
    }
  }
  if (hold_high_surrogate && !units.empty() && IsHighSurrogate(units.back())) {
    held_high_ = units.back();
    holding_ = true;
    units.remove_suffix(1);
  }
  fold(units.data(), units.size(), buffer_.data() + size_);
  size_ += units.size();
  std::fill_n(buffer_.data() + size_, 4, char16_t{0});
  const std::size_t max_length = matcher_.max_length_;
  if (max_length > 0 && size_ >= max_length) Search(size_ - (max_length - 1), size_);
}

void MatchStream::Finish() {
  if (finished_) return;
  if (byte_keys_ != nullptr) {
    finished_ = true;
    if (!decoded_ && !Done() && byte_keys_->longest > 0) SearchBytes(size_, size_);
    if (decoded_) {
      decoded_->Finish();  // also when a special character near the end started it just now
    } else if (track_points_) {
      AdvanceBytePoints(size_);
    }
    return;
  }
  if (holding_ && !Done()) {
    holding_ = false;
    const char16_t unpaired = held_high_;
    FeedPiece(std::u16string_view(&unpaired, 1), false, true);
  }
  finished_ = true;
  // Nothing fed, nothing to search (and no tables to search with).
  if (!Done() && matcher_.max_length_ > 0 && units_ != nullptr) Search(size_, size_);
  if (track_points_) AdvancePoints(size_);
}

void MatchStream::Search(std::size_t end, std::size_t limit) {
  const std::uint64_t* windows = units_->window_filter.data();
  const char16_t* units = buffer_.data();
  std::size_t at = next_;
  const Matcher::NibbleMasks& nibbles = units_->nibbles;
  if (nibbles.units > 0) {
    const auto nibble_candidates = Kernels().unit_nibbles;
    for (; at + 32 <= end && !Done(); at += 32) {
      std::uint32_t candidates =
          nibble_candidates(units + at, nibbles.low, nibbles.high, nibbles.units);
      while (candidates != 0) {
        const std::size_t candidate = at + std::size_t(std::countr_zero(candidates));
        candidates &= candidates - 1;
        Verify(candidate, limit);
      }
    }
  }
  if (!units_->has_short_keys) {
    for (; at + 4 <= end; at += 4) {
      const std::uint32_t h0 = WindowHash(units + at), h1 = WindowHash(units + at + 1),
                          h2 = WindowHash(units + at + 2), h3 = WindowHash(units + at + 3);
      if (!(TestBit(windows, h0) | TestBit(windows, h1) | TestBit(windows, h2) |
            TestBit(windows, h3))) {
        continue;
      }
      for (std::size_t candidate = at; candidate < at + 4; ++candidate) {
        if (TestBit(windows, WindowHash(units + candidate))) Verify(candidate, limit);
      }
      if (Done()) break;
    }
    for (; at < end && !Done(); ++at) {
      if (TestBit(windows, WindowHash(units + at))) Verify(at, limit);
    }
  } else {
    const std::uint64_t* starts = units_->unit_filter.data();
    for (; at < end && !Done(); ++at) {
      if (TestBit(windows, WindowHash(units + at)) || TestBit(starts, units[at])) {
        Verify(at, limit);
      }
    }
  }
  next_ = end;
  if (track_points_) AdvancePoints(end);
}

void MatchStream::Verify(std::size_t at, std::size_t limit) {
  const char16_t* window = buffer_.data() + at;
  const std::size_t room = limit - at;
  if (units_->has_short_keys && TestBit(units_->unit_filter.data(), window[0])) {
    VerifyByLength(at, limit, 1, 2);
  }
  if (room < 3) return;
  const std::uint32_t hash = WindowHash(window);
  if (!TestBit(units_->window_filter.data(), hash)) return;
  const Matcher::WindowBucket* bucket = units_->FindWindowBucket(hash);
  if (bucket == nullptr) return;
  if (bucket->count > Matcher::kLargeBucket) {
    VerifyByLength(at, limit, 3, matcher_.max_length_);
    return;
  }
  for (std::uint32_t i = bucket->first; i < bucket->first + bucket->count; ++i) {
    const std::uint32_t id = units_->window_ids[i];
    const std::uint32_t length = matcher_.lengths_[id];
    if (length <= room && first_[id] == kNotFound &&
        std::memcmp(matcher_.folded_.data() + matcher_.offsets_[id], window,
                    length * sizeof(char16_t)) == 0) {
      Record(id, at);
    }
  }
}

void MatchStream::VerifyByLength(std::size_t at, std::size_t limit, std::size_t shortest,
                                 std::size_t longest) {
  const char16_t* window = buffer_.data() + at;
  const std::size_t room = limit - at;
  std::uint64_t hash = kSeed;
  std::size_t hashed = 0;
  for (const std::uint32_t length : units_->distinct_lengths) {
    if (length > room || length > longest) break;
    if (length < shortest) continue;
    while (hashed < length) hash = Mix(hash, window[hashed++]);
    const std::uint32_t id = matcher_.Find(window, length, hash);
    if (id != Matcher::kEmptyKey && first_[id] == kNotFound) Record(id, at);
  }
}

void MatchStream::Record(std::uint32_t id, std::size_t at) {
  first_[id] = base_ + at;
  --remaining_;
  if (track_points_) unplaced_.emplace_back(at, id);
}

void MatchStream::AdvancePoints(std::size_t end) {
  std::sort(unplaced_.begin(), unplaced_.end());
  std::size_t next_found = 0;
  std::size_t at = counted_;
  const char16_t* units = buffer_.data();
  while (at < end) {
    if (next_found < unplaced_.size() && unplaced_[next_found].first == at) {
      points_[unplaced_[next_found++].second] = TextPoint{line_, column_ + 1};
      continue;
    }
    const std::size_t stop = next_found < unplaced_.size() ? unplaced_[next_found].first : end;
    while (at + 8 <= stop && PlainBlock(units + at)) {
      column_ += 8;
      at += 8;
      previous_ = units[at - 1];
    }
    if (at == stop) continue;
    const char16_t unit = units[at++];
    if (unit == u'\r' || (unit == u'\n' && previous_ != u'\r')) {
      ++line_;
      column_ = 0;
    } else if (unit != u'\n' && !(IsLowSurrogate(unit) && IsHighSurrogate(previous_))) {
      ++column_;
    }
    previous_ = unit;
  }
  // Found exactly at the end (only after Finish, where nothing follows).
  for (; next_found < unplaced_.size(); ++next_found) {
    points_[unplaced_[next_found].second] = TextPoint{line_, column_ + 1};
  }
  unplaced_.clear();
  counted_ = end;
}

std::vector<std::uint64_t> MatchStream::FirstPositions() const {
  std::vector<std::uint64_t> positions;
  positions.reserve(matcher_.key_ids_.size());
  for (const std::uint32_t id : matcher_.key_ids_) {
    if (id == Matcher::kEmptyKey) {
      positions.push_back(fed_ > 0 ? 0 : kNotFound);
    } else if (first_[id] == kNotFound && decoded_ && decoded_->first_[id] != kNotFound) {
      positions.push_back(decoded_from_ + decoded_->first_[id]);
    } else {
      positions.push_back(first_[id]);
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
    } else if (track_points_ && first_[id] == kNotFound && decoded_ &&
               decoded_->first_[id] != kNotFound) {
      // Counted from where the decoded text starts.
      const TextPoint point = decoded_->points_[id];
      points.push_back(point.line == 1
                           ? TextPoint{decoded_origin_.line, decoded_origin_.column + point.column}
                           : TextPoint{decoded_origin_.line + point.line - 1, point.column});
    } else {
      points.push_back(track_points_ ? points_[id] : TextPoint{});
    }
  }
  return points;
}

void MatchStream::FeedBytes(std::string_view bytes, ByteEncoding encoding) {
  if (bytes.empty() || finished_) return;
  if (fed_ == 0 && remaining_ > matcher_.offsets_.size()) --remaining_;
  fed_ += bytes.size();
  if (byte_keys_ == nullptr || byte_keys_->encoding != encoding) UseByteKeys(encoding);
  if (Done()) return;
  if (decoded_) {
    FeedDecoded(bytes);
    return;
  }
  FeedBytePiece(bytes);
}

// The keys of encoding from here on: from the start, or after ASCII (which reads the same in
// UTF-8 and GBK) when the text turns out to be GBK.
void MatchStream::UseByteKeys(ByteEncoding encoding) {
  byte_keys_ = &matcher_.BytesFor(encoding);
  std::memcpy(live_low_, byte_keys_->low, sizeof live_low_);
  for (int bucket = 0; bucket < ByteKeys::kBuckets; ++bucket) {
    bucket_left_[bucket] = 0;
    for (const std::uint32_t pattern : byte_keys_->bucket_patterns[bucket]) {
      const std::uint32_t key = byte_keys_->patterns[pattern].key;
      // A special pattern is never done with.
      if (key == ByteKeys::kSpecial || first_[key] == kNotFound) ++bucket_left_[bucket];
    }
  }
  sync_ = 0;  // ASCII so far: every byte starts a character
  // Keys of no byte form can only be found in the decoded text: decoded from here on, and
  // from as far back as a key reaches.
  if (byte_keys_->needs_decoding && !decoded_) StartDecoding(size_);
}

void MatchStream::FeedBytePiece(std::string_view piece) {
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
    if (keys.longest > 0 && size_ >= keys.longest) SearchBytes(size_ - (keys.longest - 1), size_);
    return;
  }
  const std::size_t before = size_ - head;  // where the piece starts in bytes_
  SearchBytes(size_ - (keys.longest + kPadding), size_);
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
  SearchBytes(size_ - (keys.longest + kPadding), size_);
  if (decoded_ || Done()) {
    // Nothing more is searched here; the piece is gone once this returns: what is found is
    // placed now (decoding did so already), and no byte of the piece is kept.
    if (track_points_ && !decoded_) AdvanceBytePoints(size_);
    text_ = bytes_.data();
    size_ = next_ = counted_ = 0;
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
std::size_t MatchStream::KeptFrom() {
  const ByteKeys& keys = *byte_keys_;
  std::size_t keep = next_ > keys.history ? next_ - keys.history : 0;
  if (keys.encoding == ByteEncoding::kGbk) {
    AdvanceSync(keep);
    keep = std::min(keep, sync_);
  }
  if (track_points_) keep = std::min(keep, counted_);
  return keep;
}

// Drops the bytes of bytes_ before keep.
void MatchStream::ShiftBytes(std::size_t keep) {
  if (keep == 0) return;
  std::memmove(bytes_.data(), bytes_.data() + keep, size_ - keep);
  size_ -= keep;
  ShiftPositions(keep);
}

void MatchStream::ShiftPositions(std::size_t by) {
  base_ += by;
  next_ -= by;
  counted_ = counted_ > by ? counted_ - by : 0;  // UTF-8 has no sync_; untracked, no counted_
  sync_ = sync_ > by ? sync_ - by : 0;
  for (auto& found : unplaced_) found.first -= by;
}

void MatchStream::SearchBytes(std::size_t end, std::size_t limit) {
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
  if (track_points_) {
    // Behind the search by as much as a key starts before its window, or as decoding starts
    // before a special character.
    AdvanceBytePoints(next_ > keys.history ? next_ - keys.history : 0);
  }
}

void MatchStream::VerifyPattern(std::uint32_t index, std::size_t start, std::size_t scanned,
                                std::size_t limit) {
  const ByteKeys& keys = *byte_keys_;
  const BytePattern& pattern = keys.patterns[index];
  if (start + pattern.length > limit) return;
  if (pattern.key != ByteKeys::kSpecial && first_[pattern.key] != kNotFound) return;
  if (!keys.Matches(pattern, text_ + start)) return;
  // A GBK trail byte may look like an ASCII letter: a key starts on a character.
  if (keys.encoding == ByteEncoding::kGbk && !StartsCharacter(start, scanned)) return;
  if (pattern.key == ByteKeys::kSpecial) {
    StartDecoding(start);
    return;
  }
  Record(pattern.key, start);
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
bool MatchStream::StartsCharacter(std::size_t at, std::size_t scanned) {
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

void MatchStream::AdvanceSync(std::size_t target) {
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

void MatchStream::StartDecoding(std::size_t at) {
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
  if (track_points_) AdvanceBytePoints(from);
  decoded_origin_ = TextPoint{line_, column_};
  decoded_from_ = base_ + from;
  decoded_ = std::make_unique<MatchStream>(matcher_, track_points_);
  FeedDecoded(std::string_view(reinterpret_cast<const char*>(text_) + from, size_ - from));
  if (track_points_) AdvanceBytePoints(size_);  // places the keys found before
}

void MatchStream::FeedDecoded(std::string_view bytes) {
  if (bytes.empty()) return;
  if (byte_keys_->encoding == ByteEncoding::kUtf8) {
    if (decoded_units_.size() < bytes.size()) decoded_units_.resize(bytes.size());
    std::size_t written = 0;
    bool ill_formed = false;
    DecodeUtf8Prefix(bytes, true, true, true, decoded_units_.data(), written, ill_formed);
    decoded_->Feed(std::u16string_view(decoded_units_.data(), written), true);
  } else {
    decoded_->Feed(DecodeGbk(bytes));
  }
}

void MatchStream::AdvanceBytePoints(std::size_t end) {
  std::sort(unplaced_.begin(), unplaced_.end());
  std::size_t next_found = 0;
  std::size_t at = counted_;
  const unsigned char* bytes = text_;
  const ByteEncoding encoding = byte_keys_->encoding;
  while (true) {
    if (next_found < unplaced_.size() && unplaced_[next_found].first <= at &&
        unplaced_[next_found].first < end) {
      points_[unplaced_[next_found++].second] = TextPoint{line_, column_ + 1};
      continue;
    }
    if (at >= end) break;
    const std::size_t stop =
        next_found < unplaced_.size() ? std::min(end, unplaced_[next_found].first) : end;
    // Sixteen ASCII bytes and no line break: sixteen characters.
    while (at + 16 <= stop) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
      const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n')),
                                          _mm_cmpeq_epi8(block, _mm_set1_epi8('\r')));
      if (_mm_movemask_epi8(_mm_or_si128(breaks, block)) != 0) break;
      column_ += 16;
      at += 16;
      previous_ = bytes[at - 1];
    }
    if (at >= stop) continue;
    const unsigned char byte = bytes[at];
    if (byte == '\r' || (byte == '\n' && previous_ != u'\r')) {
      ++line_;
      column_ = 0;
    } else if (byte != '\n') {
      ++column_;
    }
    previous_ = byte;
    at += CharacterLength(encoding, bytes + at, size_ - at);
  }
  unplaced_.erase(unplaced_.begin(), unplaced_.begin() + std::ptrdiff_t(next_found));
  counted_ = std::max(counted_, at);
}

}  // namespace tesqua
