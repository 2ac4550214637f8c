// The search of a text in UTF-16 units.
#include <algorithm>
#include <bit>
#include <cstring>

#include "scan/matcher.h"
#include "scan/unicode.h"
#include "scan/unit_hash.h"
#include "scan/vector_kernels.h"

namespace tesqua {
namespace {

using unit_hash::kSeed;
using unit_hash::Mix;
using unit_hash::TestBit;
using unit_hash::WindowHash;

}  // namespace

UnitSearch::UnitSearch(const Matcher& matcher, bool track_points) : matcher_(matcher) {
  found_.track_points = track_points;
  Reset();
}

void UnitSearch::Reset() {
  size_ = 0;
  next_ = 0;
  base_ = 0;
  held_high_ = 0;
  holding_ = false;
  found_.Reset(matcher_.offsets_.size());
}

void UnitSearch::Feed(std::u16string_view units, bool folded) {
  while (!units.empty() && !Done()) {
    const std::u16string_view piece = units.substr(0, kPiece);
    units.remove_prefix(piece.size());
    FeedPiece(piece, true, folded);
  }
}

void UnitSearch::FeedPiece(std::u16string_view units, bool hold_high_surrogate, bool folded) {
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
    found_.points.Shift(next_);
    next_ = 0;
  }
  // Room for the piece, a held unit and the padding.
  const std::size_t room = size_ + units.size() + 1 + kUnitPadding;
  if (buffer_.size() < room) buffer_.resize(room);
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
  std::fill_n(buffer_.data() + size_, kUnitPadding, char16_t{0});
  const std::size_t max_length = matcher_.max_length_;
  if (max_length > 0 && size_ >= max_length) Search(size_ - (max_length - 1), size_);
}

void UnitSearch::Finish() {
  if (holding_ && !Done()) {
    holding_ = false;
    const char16_t unpaired = held_high_;
    FeedPiece(std::u16string_view(&unpaired, 1), false, true);
  }
  // Nothing fed, nothing to search (and no tables to search with).
  if (!Done() && matcher_.max_length_ > 0 && units_ != nullptr) Search(size_, size_);
  if (found_.track_points) found_.points.Advance(buffer_.data(), size_);
}

void UnitSearch::Search(std::size_t end, std::size_t limit) {
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
  if (found_.track_points) found_.points.Advance(buffer_.data(), end);
}

void UnitSearch::Verify(std::size_t at, std::size_t limit) {
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
    if (length <= room && found_.first[id] == kNotFound &&
        std::memcmp(matcher_.folded_.data() + matcher_.offsets_[id], window,
                    length * sizeof(char16_t)) == 0) {
      found_.Record(id, at, base_);
    }
  }
}

void UnitSearch::VerifyByLength(std::size_t at, std::size_t limit, std::size_t shortest,
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
    if (id != Matcher::kEmptyKey && found_.first[id] == kNotFound) found_.Record(id, at, base_);
  }
}

}  // namespace tesqua
