// All keys of a library searched in one pass over a text: the text is folded once, a filter on
// its three-unit windows picks the few positions where a key may start, and a hash of the
// windows at those positions confirms each key exactly. UTF-8 and GBK text may be searched as
// bytes instead (scan/byte_keys.h), decoded only where that cannot tell.
//
// Where it lives: the keys and the build in matcher.cpp; MatchStream in match_stream.cpp hands
// a text to UnitSearch (unit_search.cpp) or ByteSearch (byte_search.cpp; the byte keys and
// their filters in byte_keys.cpp and byte_filters.cpp); lines and columns in text_points.cpp;
// the vector kernels behind scan/vector_kernels.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "scan/byte_keys.h"
#include "scan/text_points.h"
#include "scan/vector_kernels.h"

namespace tesqua {

inline constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

// A key found in a text: its index among the keys given to the matcher, where it first occurs,
// and its line and column there (0 and 0 where they are not kept).
struct KeyHit {
  std::uint32_t key = 0;
  std::uint64_t position = 0;
  TextPoint point;
  bool operator==(const KeyHit&) const = default;
};

// Keys one after another in one buffer: a library of thousands of keys takes two blocks of
// memory, not one a key.
class KeyList {
 public:
  KeyList() = default;
  explicit KeyList(const std::vector<std::u16string>& keys);

  void Reserve(std::size_t keys, std::size_t units);
  // Adds the key that is first followed by second.
  void Add(std::u16string_view first, std::u16string_view second = {});
  std::size_t Size() const { return ends_.size(); }

 private:
  friend class Matcher;
  std::u16string units_;
  std::vector<std::uint32_t> ends_;  // where each key ends in units_
};

// Built once per library and shared read-only: by many texts, files and threads.
class Matcher {
 public:
  // keys are search keys as written; letter case is folded here.
  explicit Matcher(const std::vector<std::u16string>& keys);
  explicit Matcher(KeyList keys);

  std::size_t KeyCount() const { return key_ids_.size(); }
  // The heap memory the matcher holds, with the tables of a search of UTF-16 units.
  std::size_t MemoryBytes() const;

  // Where each key first occurs in text, in UTF-16 units from 0; kNotFound where it does not.
  std::vector<std::uint64_t> FirstPositions(std::u16string_view text) const;

  // The keys as bytes of a UTF-8 or GBK text; made on first use, by any thread.
  const ByteKeys& BytesFor(ByteEncoding encoding) const;

 private:
  friend class MatchStream;
  friend class UnitSearch;
  friend class ByteSearch;
  static constexpr std::uint32_t kEmptyKey = ~std::uint32_t{0};

  // Eight bytes, so that the table of a large library stays in the cache.
  struct Slot {
    std::uint32_t tag = 0;      // the high half of the key's hash
    std::uint32_t id_plus = 0;  // the key's id plus one; 0 marks a free slot
  };

  std::uint32_t Find(const char16_t* window, std::size_t length, std::uint64_t hash) const;
  void Insert(std::uint32_t id, std::uint64_t hash);

  std::vector<std::uint32_t> key_ids_;  // per key given: its distinct folded key, or kEmptyKey
  bool has_empty_key_ = false;
  // The keys given of each distinct key: the first, then each one's next (kEmptyKey ends it);
  // so that what a text found is told for the cost of its hits, not of the whole library.
  std::vector<std::uint32_t> first_given_;
  std::vector<std::uint32_t> next_given_;
  std::u16string folded_;               // the distinct folded keys, one after another
  std::vector<std::uint32_t> offsets_;  // per distinct key: where it starts in folded_
  std::vector<std::uint32_t> lengths_;
  std::size_t max_length_ = 0;
  std::vector<Slot> slots_;  // open addressing over (length, hash)
  std::size_t slot_mask_ = 0;

  // The keys of three units or more by the filter's hash of their first three units: a
  // candidate is compared with the few keys of its window alone.
  struct WindowBucket {
    std::uint32_t hash = ~std::uint32_t{0};  // a free bucket
    std::uint32_t first = 0;                 // into window_ids
    std::uint32_t count = 0;
  };
  static constexpr std::uint32_t kLargeBucket = 16;
  // A vector prefilter for small libraries: each key's first units, by their low and high
  // nibbles, in one of eight buckets. Used where the processor has AVX2.
  struct NibbleMasks {
    int units = 0;  // how many leading units are tested, 0 when the prefilter is off
    alignas(32) unsigned char low[3][32] = {};
    alignas(32) unsigned char high[3][32] = {};
  };
  // What a search of UTF-16 units needs beyond the keys. A text searched as bytes needs none
  // of it, so it is made on first use, by any thread.
  struct UnitTables {
    std::vector<std::uint32_t> distinct_lengths;  // ascending
    bool has_short_keys = false;                  // keys of one or two units
    std::vector<std::uint64_t> window_filter;  // 2^16 bits: hashes of the keys' first three units
    std::vector<std::uint64_t> unit_filter;    // 2^16 bits: first units of the short keys
    std::vector<WindowBucket> window_buckets;
    std::vector<std::uint32_t> window_ids;
    std::size_t window_bucket_mask = 0;
    NibbleMasks nibbles;
    const WindowBucket* FindWindowBucket(std::uint32_t hash) const;
    std::size_t MemoryBytes() const;
  };
  const UnitTables& Units() const;
  void BuildUnitTables(UnitTables& tables) const;
  void BuildWindowBuckets(UnitTables& tables) const;

  struct LazyTables {
    std::once_flag units_made;
    std::unique_ptr<UnitTables> units;
    std::once_flag made[2];
    std::unique_ptr<ByteKeys> keys[2];
  };
  std::unique_ptr<LazyTables> lazy_tables_ = std::make_unique<LazyTables>();
};

// What one search has found: per distinct key, where it first occurs and, with points, its
// line and column.
struct Findings {
  std::vector<std::uint64_t> first;
  std::vector<std::uint32_t> found;  // the keys of first that are found, in the order found
  PointCounter points;
  std::size_t remaining = 0;  // distinct keys not yet found
  bool track_points = false;

  // Starts over; for as many keys as before, only what was found is undone.
  void Reset(std::size_t keys);
  // Key key first occurs at position at of what the search holds, base before it.
  void Record(std::uint32_t key, std::size_t at, std::uint64_t base) {
    first[key] = base + at;
    found.push_back(key);
    --remaining;
    if (track_points) points.Found(key, at);
  }
};

// A text in UTF-16 units, folded as it comes and searched through the matcher's filters on its
// three-unit windows (scan/unit_search.cpp).
class UnitSearch {
 public:
  UnitSearch(const Matcher& matcher, bool track_points);
  void Reset();
  // folded: the units are folded already (a decoder did it on the way).
  void Feed(std::u16string_view units, bool folded);
  void Finish();
  bool Done() const { return found_.remaining == 0; }
  const Findings& Found() const { return found_; }

 private:
  static constexpr std::size_t kPiece = 16 * 1024;

  void FeedPiece(std::u16string_view units, bool hold_high_surrogate, bool folded);
  void Search(std::size_t end, std::size_t limit);
  void Verify(std::size_t at, std::size_t limit);
  void VerifyByLength(std::size_t at, std::size_t limit, std::size_t shortest, std::size_t longest);

  const Matcher& matcher_;
  const Matcher::UnitTables* units_ = nullptr;  // once units are fed
  std::vector<char16_t> buffer_;                // folded units; buffer_[0] is text position base_
  std::size_t size_ = 0;                        // units held
  std::size_t next_ = 0;                        // first position not yet searched
  std::uint64_t base_ = 0;
  char16_t held_high_ = 0;  // a high surrogate at a piece's end, waiting for its partner
  bool holding_ = false;
  Findings found_;
};

// A text in UTF-8 or GBK bytes, searched where it lies, undecoded (scan/byte_search.cpp). From
// the first character that folds onto an ASCII letter on (or all along, for keys that only
// decoding finds), the text is decoded and searched by a UnitSearch of its own.
class ByteSearch {
 public:
  ByteSearch(const Matcher& matcher, bool track_points);
  void Reset();
  // Whole characters; the encoding may turn from UTF-8 to GBK after ASCII.
  void Feed(std::string_view bytes, ByteEncoding encoding);
  void Finish();
  bool Done() const { return found_.remaining == 0 || (decoded_ && decoded_->Done()); }
  // Where distinct key first occurs, and its line and column: in the bytes, else in the
  // decoded tail.
  std::uint64_t First(std::uint32_t key) const;
  TextPoint Point(std::uint32_t key) const;
  // Appends the distinct keys found, in the bytes or in the decoded tail (a key may come twice).
  void AppendFound(std::vector<std::uint32_t>& keys) const;

 private:
  void UseByteKeys(ByteEncoding encoding);
  void FeedPiece(std::string_view bytes);
  std::size_t KeptFrom();
  void ShiftBytes(std::size_t keep);
  void ShiftPositions(std::size_t by);
  void Search(std::size_t end, std::size_t limit);
  void VerifyPattern(std::uint32_t pattern, std::size_t start, std::size_t scanned,
                     std::size_t limit);
  bool StartsCharacter(std::size_t at, std::size_t scanned);
  void AdvanceSync(std::size_t target);
  void StartDecoding(std::size_t at);
  void FeedDecoded(std::string_view bytes);
  void CountBytes(std::size_t end);

  const Matcher& matcher_;
  const ByteKeys* byte_keys_ = nullptr;
  std::vector<unsigned char> bytes_;     // bytes_[0] is text position base_
  const unsigned char* text_ = nullptr;  // bytes_, or a long piece searched where it lies
  std::size_t size_ = 0;                 // bytes held
  std::size_t next_ = 0;                 // first position not yet searched
  std::uint64_t base_ = 0;
  std::size_t sync_ = 0;  // a GBK text: a position known to start a character
  alignas(64) ByteKeys::NibbleTable live_low_ = {};     // the nibble masks less finished buckets
  std::uint32_t bucket_left_[ByteKeys::kBuckets] = {};  // keys of a bucket not yet found
  Findings found_;
  std::unique_ptr<UnitSearch> decoded_;
  std::uint64_t decoded_from_ = 0;
  TextPoint decoded_origin_;  // line, and characters before, where the decoded text starts
  std::vector<char16_t> decoded_units_;
};

// One text fed in pieces of any size: a key or a surrogate pair may straddle two pieces.
class MatchStream {
 public:
  // With track_points, the line and column of each first occurrence are kept as well.
  explicit MatchStream(const Matcher& matcher, bool track_points = false);

  // Starts over with a new text, keeping the memory that the last one needed.
  void Reset();

  // folded: the units are folded already (a decoder did it on the way).
  void Feed(std::u16string_view units, bool folded = false);
  // The text as bytes of UTF-8 or GBK instead, searched undecoded where that can tell. Each
  // piece ends between two characters and may go as soon as this returns; a text is fed all
  // in bytes of one encoding or all in units (or in GBK after ASCII fed as UTF-8). Whether a
  // key is found, and its line and column, are as for the decoded text; positions count
  // bytes, except for keys that only decoding finds.
  void FeedBytes(std::string_view bytes, ByteEncoding encoding);
  // Ends the text: the positions near its end are searched now.
  void Finish();
  // Every key has been found: nothing later in the text can change the result.
  bool Done() const {
    // The empty key is found at the first unit or byte.
    if (fed_ == 0 && matcher_.has_empty_key_) return false;
    return bytes_fed_ ? bytes_->Done() : units_.Done();
  }
  std::uint64_t Length() const { return fed_; }

  // The keys found, in the order of the keys given to the matcher. Complete after Finish.
  std::vector<KeyHit> Hits() const;
  // Per key given to the matcher, in its order (what Hits tells, for every key).
  std::vector<std::uint64_t> FirstPositions() const;
  // Per key; a key not found has line and column 0.
  std::vector<TextPoint> FirstPoints() const;

 private:
  const Matcher& matcher_;
  bool track_points_;
  std::uint64_t fed_ = 0;
  bool finished_ = false;
  UnitSearch units_;
  std::unique_ptr<ByteSearch> bytes_;  // made when bytes are first fed, kept for the next text
  bool bytes_fed_ = false;             // this text came as bytes
};

}  // namespace tesqua
