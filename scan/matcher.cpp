#include "scan/matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "scan/case_folding.h"
#include "scan/unicode.h"
#include "scan/unit_hash.h"
#include "scan/vector_kernels.h"

namespace tesqua {
namespace {

using unit_hash::kMultiplier;
using unit_hash::kSeed;
using unit_hash::Mix;
using unit_hash::WindowHash;

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

void SetBit(std::vector<std::uint64_t>& bits, std::uint32_t index) {
  bits[index >> 6] |= std::uint64_t{1} << (index & 63);
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
  // Each distinct key's keys given, the empty one's last, chained in their order.
  first_given_.assign(offsets_.size() + 1, kEmptyKey);
  next_given_.assign(count, kEmptyKey);
  for (std::size_t k = count; k-- > 0;) {
    const std::uint32_t id =
        key_ids_[k] == kEmptyKey ? std::uint32_t(offsets_.size()) : key_ids_[k];
    next_given_[k] = first_given_[id];
    first_given_[id] = std::uint32_t(k);
  }
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
         (first_given_.capacity() + next_given_.capacity()) * sizeof(std::uint32_t) +
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

}  // namespace tesqua
