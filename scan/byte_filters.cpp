// The byte filters' build: the nibble filter's buckets and masks for small libraries, the
// shift-or filter's table and the confirm table behind it for the rest.
#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "scan/byte_keys.h"

namespace tesqua {

namespace {

// The nibbles a pattern may have at place j, as bits: low nibbles, then high ones; 0 where the
// pattern is shorter (any byte may follow it).
std::uint32_t PlaceNibbles(std::string_view pattern, std::size_t j) {
  if (j >= pattern.size()) return 0;
  const auto byte = static_cast<unsigned char>(pattern[j]);
  std::uint32_t bits = (1u << (byte & 0x0F)) | (1u << (16 + (byte >> 4)));
  if (byte >= 'a' && byte <= 'z') bits |= 1u << (16 + ((byte - 0x20) >> 4));  // upper case
  return bits;
}

// How many byte sequences a bucket lets through: per place, its low nibbles times its high
// ones, or every byte where a pattern is shorter.
double Spread(const std::uint32_t (&places)[ByteKeys::kNibbleBytes],
              const bool (&any)[ByteKeys::kNibbleBytes]) {
  double spread = 1;
  for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
    spread *=
        any[j] ? 256.0
               : double(std::popcount(places[j] & 0xFFFF)) * double(std::popcount(places[j] >> 16));
  }
  return spread;
}

}  // namespace

void ByteKeys::BuildNibbles() {
  nibbles = true;
  // Every pattern its own group at first; then the two groups whose union lets the fewest
  // more byte sequences through are joined, until there are as many groups as buckets.
  struct Group {
    std::uint32_t places[kNibbleBytes] = {};
    bool any[kNibbleBytes] = {};
    std::vector<std::uint32_t> patterns;
  };
  std::vector<Group> groups;
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    const std::string_view pattern =
        std::string_view(bytes).substr(patterns[i].offset, patterns[i].length);
    Group group;
    for (int j = 0; j < kNibbleBytes; ++j) {
      group.places[j] = PlaceNibbles(pattern, std::size_t(j));
      group.any[j] = std::size_t(j) >= pattern.size();
    }
    group.patterns.push_back(i);
    groups.push_back(std::move(group));
  }
  const auto joined = [](const Group& a, const Group& b) {
    Group both;
    for (int j = 0; j < kNibbleBytes; ++j) {
      both.places[j] = a.places[j] | b.places[j];
      both.any[j] = a.any[j] || b.any[j];
    }
    return both;
  };
  while (groups.size() > std::size_t(kBuckets)) {
    std::size_t best_a = 0, best_b = 1;
    double best_cost = 0;
    for (std::size_t x = 0; x < groups.size(); ++x) {
      for (std::size_t y = x + 1; y < groups.size(); ++y) {
        Group both = joined(groups[x], groups[y]);
        const double cost = Spread(both.places, both.any) -
                            Spread(groups[x].places, groups[x].any) -
                            Spread(groups[y].places, groups[y].any);
        if ((x == 0 && y == 1) || cost < best_cost) {
          best_a = x;
          best_b = y;
          best_cost = cost;
        }
      }
    }
    Group both = joined(groups[best_a], groups[best_b]);
    both.patterns = groups[best_a].patterns;
    both.patterns.insert(both.patterns.end(), groups[best_b].patterns.begin(),
                         groups[best_b].patterns.end());
    groups[best_a] = std::move(both);
    groups.erase(groups.begin() + std::ptrdiff_t(best_b));
  }
  std::uint32_t places[kBuckets][kNibbleBytes] = {};
  bool any[kBuckets][kNibbleBytes] = {};
  for (std::size_t bucket = 0; bucket < groups.size(); ++bucket) {
    bucket_patterns[bucket] = groups[bucket].patterns;
    for (int j = 0; j < kNibbleBytes; ++j) {
      places[bucket][j] = groups[bucket].places[j];
      any[bucket][j] = groups[bucket].any[j];
    }
  }
  for (int bucket = 0; bucket < kBuckets; ++bucket) {
    const auto bit = static_cast<unsigned char>(1u << (bucket % 8));
    for (int j = 0; j < kNibbleBytes; ++j) {
      for (int nibble = 0; nibble < 16; ++nibble) {
        if (bucket_patterns[bucket].empty()) continue;
        const bool low_set = any[bucket][j] || ((places[bucket][j] >> nibble) & 1);
        const bool high_set = any[bucket][j] || ((places[bucket][j] >> (16 + nibble)) & 1);
        for (int lane = 0; lane < 64; lane += 16) {
          if (low_set) low[bucket / 8][j][lane + nibble] |= bit;
          if (high_set) high[bucket / 8][j][lane + nibble] |= bit;
        }
      }
    }
  }
}

namespace {

using Keyed = std::pair<std::uint64_t, std::uint32_t>;

// The bytes at a pattern's end that the shift-or filter looks at (its span).
unsigned FilterSpan(const BytePattern& pattern) {
  return std::min<unsigned>(pattern.length, ByteKeys::kSpan);
}

// Orders items by their keys, keeping the order of items with equal keys: a byte a pass, the
// passes on which every key has the same byte skipped. Large libraries have tens of thousands
// of patterns, which comparisons sort several times slower.
template <typename Item>
void SortByKey(std::vector<Item>& items) {
  std::size_t counts[8][256] = {};
  for (const Item& item : items) {
    for (int digit = 0; digit < 8; ++digit) ++counts[digit][(item.first >> (8 * digit)) & 0xFF];
  }
  std::vector<Item> sorted(items.size());
  for (int digit = 0; digit < 8; ++digit) {
    std::size_t* starts = counts[digit];
    if (std::find(starts, starts + 256, items.size()) != starts + 256) continue;
    std::size_t start = 0;
    for (int byte = 0; byte < 256; ++byte) start += std::exchange(starts[byte], start);
    for (const Item& item : items) sorted[starts[(item.first >> (8 * digit)) & 0xFF]++] = item;
    items.swap(sorted);
  }
}

// The first eight bytes of text in big-endian order, zero past its end: compared as numbers,
// they order as the bytes do, up to the ninth.
std::uint64_t LeadingBytes(const char* text, std::size_t length) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    word = word << 8 | (i < length ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return word;
}

}  // namespace

void ByteKeys::BuildShiftOr() {
  // Patterns by how many bytes the filter looks at (span): a bucket's lanes past its shortest
  // pattern's windows let every window through, so buckets hold patterns of one span (the
  // shortest, weakest ones together if there are more spans than buckets), and the largest
  // buckets are split in halves of patterns in byte order (sharing windows) until all eight
  // are used.
  const auto windows_of = [](unsigned span) { return span - unsigned(kWindow) + 1; };
  struct Group {
    unsigned span = 0;  // the shortest
    std::vector<std::uint32_t> patterns;
    bool sorted = false;  // in byte order
  };
  std::vector<Group> groups;
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    if (patterns[i].length > kWindow) continue;
    const auto first = static_cast<unsigned char>(bytes[patterns[i].offset]);
    for (const unsigned char spelling : {first, static_cast<unsigned char>(first ^ 0x20)}) {
      if (spelling != first && !(first >= 'a' && first <= 'z')) continue;
      short_patterns[spelling].push_back(i);
      if (std::find(short_firsts.begin(), short_firsts.end(), spelling) == short_firsts.end()) {
        short_firsts.push_back(spelling);
      }
    }
  }
  std::vector<std::uint32_t> by_span[kSpan + 1];
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    if (patterns[i].length > kWindow) by_span[FilterSpan(patterns[i])].push_back(i);
  }
  for (unsigned span = kWindow + 1; span <= kSpan; ++span) {
    if (!by_span[span].empty()) groups.push_back(Group{span, std::move(by_span[span])});
  }
  while (groups.size() > std::size_t(kShiftBuckets)) {
    // Joined to the next shorter group, the longer one loses this many lanes a pattern.
    std::size_t best = 0;
    std::size_t best_cost = ~std::size_t{0};
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) {
      const std::size_t cost = groups[i + 1].patterns.size() *
                               (windows_of(groups[i + 1].span) - windows_of(groups[i].span));
      if (cost < best_cost) {
        best = i;
        best_cost = cost;
      }
    }
    groups[best].patterns.insert(groups[best].patterns.end(), groups[best + 1].patterns.begin(),
                                 groups[best + 1].patterns.end());
    groups.erase(groups.begin() + std::ptrdiff_t(best + 1));
  }
  const auto pattern_bytes = [&](std::uint32_t pattern) {
    return std::string_view(bytes).substr(patterns[pattern].offset, patterns[pattern].length);
  };
  while (!groups.empty() && groups.size() < std::size_t(kShiftBuckets)) {
    std::size_t largest = 0;
    for (std::size_t i = 1; i < groups.size(); ++i) {
      if (groups[i].patterns.size() > groups[largest].patterns.size()) largest = i;
    }
    std::vector<std::uint32_t>& all = groups[largest].patterns;
    if (all.size() < 2) break;
    if (!groups[largest].sorted) {  // halves of a sorted group stay sorted
      std::vector<Keyed> order;
      order.reserve(all.size());
      for (const std::uint32_t pattern : all) {
        order.emplace_back(
            LeadingBytes(bytes.data() + patterns[pattern].offset, patterns[pattern].length),
            pattern);
      }
      SortByKey(order);
      // Patterns alike in their first eight bytes by the rest.
      for (std::size_t i = 0, run = 0; i < order.size(); i = run) {
        for (run = i + 1; run < order.size() && order[run].first == order[i].first;) ++run;
        std::sort(order.begin() + std::ptrdiff_t(i), order.begin() + std::ptrdiff_t(run),
                  [&](const Keyed& a, const Keyed& b) {
                    return pattern_bytes(a.second) < pattern_bytes(b.second);
                  });
      }
      for (std::size_t i = 0; i < order.size(); ++i) all[i] = order[i].second;
    }
    groups[largest].sorted = true;
    Group half{groups[largest].span,
               std::vector<std::uint32_t>(all.begin() + std::ptrdiff_t(all.size() / 2), all.end()),
               true};
    all.resize(all.size() / 2);
    groups.push_back(std::move(half));
  }

  // About one table entry in sixteen taken by a bucket's windows of one lane.
  std::size_t most = 1;
  for (const Group& group : groups) most = std::max(most, group.patterns.size());
  shift_bits = 10;
  while (shift_bits < 15 && (std::size_t{1} << shift_bits) < 16 * most) ++shift_bits;
  // Lanes past a bucket's shortest pattern's windows: any window.
  std::uint64_t any = 0;
  for (std::size_t bucket = 0; bucket < groups.size(); ++bucket) {
    for (unsigned lane = windows_of(groups[bucket].span); lane < kLanes; ++lane) {
      any |= std::uint64_t{1} << (8 * lane + bucket);
    }
  }
  shift_table.assign((std::size_t{2} << shift_bits) + 1, 0);
  for (std::size_t hash = 0; hash < (std::size_t{1} << shift_bits); ++hash) {
    shift_table[2 * hash + 1] = ~any;
  }
  const auto entry = [&](std::uint32_t hash) -> std::uint64_t& {
    return shift_table[2 * std::size_t(hash) + 1];
  };

  for (std::size_t bucket = 0; bucket < groups.size(); ++bucket) {
    const std::uint64_t bit = std::uint64_t{1} << bucket;
    live_buckets |= bit * 0x0101010101010101u;
    for (const std::uint32_t i : groups[bucket].patterns) {
      BytePattern& pattern = patterns[i];
      const unsigned span = FilterSpan(pattern);
      const unsigned windows = windows_of(span);
      const std::uint32_t from = pattern.length - span;  // where the filter starts looking
      pattern.window = from + windows - 1;
      bucket_spans[bucket] |= std::uint16_t(1u << span);
      const auto* start = reinterpret_cast<const unsigned char*>(bytes.data() + pattern.offset);
      for (unsigned k = 0; k < windows; ++k) {
        entry(ShiftHash(start + from + k)) &= ~(bit << (8 * (windows - 1 - k)));
      }
    }
  }
  BuildConfirm();
}

// The confirm table: a slot per last bytes and span, its patterns in their order. Counted
// first, then each slot's run placed, so that nothing is sorted.
void ByteKeys::BuildConfirm() {
  std::size_t filtered = 0;  // the patterns the shift-or filter looks at
  for (const BytePattern& pattern : patterns) filtered += pattern.length > kWindow ? 1 : 0;
  std::size_t slots = 16;
  while (slots < filtered * 2) slots *= 2;
  confirm_slots.assign(slots, ConfirmSlot{});
  confirm_patterns.resize(filtered);
  std::vector<std::uint32_t> slot_of(patterns.size());
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    const BytePattern& pattern = patterns[i];
    if (pattern.length <= kWindow) continue;
    const unsigned span = FilterSpan(pattern);
    const std::uint64_t key = ConfirmKey(
        reinterpret_cast<const unsigned char*>(bytes.data() + pattern.offset + pattern.window),
        span);
    std::size_t index = ConfirmIndex(key, span) & (slots - 1);
    while (confirm_slots[index].span != 0 &&
           (confirm_slots[index].key != key || confirm_slots[index].span != span)) {
      index = (index + 1) & (slots - 1);
    }
    ConfirmSlot& slot = confirm_slots[index];
    slot.key = key;
    slot.span = span & 0xF;  // at most kSpan
    ++slot.count;
    slot_of[i] = std::uint32_t(index);
  }
  // Each slot's run, in the order of the slots; its patterns placed in theirs.
  std::uint32_t first = 0;
  for (ConfirmSlot& slot : confirm_slots) {
    slot.first = first;
    first += slot.count;
    slot.count = 0;
  }
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    if (patterns[i].length <= kWindow) continue;
    ConfirmSlot& slot = confirm_slots[slot_of[i]];
    confirm_patterns[slot.first + slot.count++] = i;
  }
}

}  // namespace tesqua
