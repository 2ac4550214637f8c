// A peer for the benchmarks, not part of Tesqua: the keys of a library searched with
// Vectorscan as caseless literals in block mode over a memory-mapped file, each key reported
// once. Prints the keys found, one a line.
// Usage: vectorscan_peer KEYS INPUT [--utf-16le] [--save DB | --load DB]
//   --utf-16le: the keys are looked for as UTF-16 LE bytes (ASCII keys only, as in the
//   benchmark's library), for an input in UTF-16 LE.
//   --save DB: also writes the compiled database to DB (serialized).
//   --load DB: takes the database from DB instead of compiling the keys (still read, for the
//   count and the output), so that a run measures the scan without the compile.
#include <fcntl.h>
#include <hs/hs.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Found {
  std::vector<char> keys;
  std::size_t count = 0;
};

int OnMatch(unsigned int id, unsigned long long, unsigned long long, unsigned int, void* context) {
  auto* found = static_cast<Found*>(context);
  if (!found->keys[id]) {
    found->keys[id] = 1;
    ++found->count;
  }
  return found->count == found->keys.size() ? 1 : 0;  // every key found: stop
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: vectorscan_peer KEYS INPUT [--utf-16le] [--save DB | --load DB]\n");
    return 2;
  }
  bool utf16 = false;
  const char* save = nullptr;
  const char* load = nullptr;
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--utf-16le") {
      utf16 = true;
    } else if ((option == "--save" || option == "--load") && i + 1 < argc) {
      (option == "--save" ? save : load) = argv[++i];
    } else {
      std::fprintf(stderr, "vectorscan_peer: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::ifstream key_file(argv[1], std::ios::binary);
  std::vector<std::string> keys;
  for (std::string line; std::getline(key_file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (utf16) {
      std::string wide;
      for (const char c : line) wide += {c, '\0'};
      line = wide;
    }
    keys.push_back(line);
  }
  std::vector<const char*> expressions;
  std::vector<std::size_t> lengths;
  std::vector<unsigned> flags(keys.size(), HS_FLAG_CASELESS | HS_FLAG_SINGLEMATCH);
  std::vector<unsigned> ids;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    expressions.push_back(keys[i].data());
    lengths.push_back(keys[i].size());
    ids.push_back(unsigned(i));
  }
  hs_database_t* database = nullptr;
  if (load != nullptr) {
    std::ifstream db_file(load, std::ios::binary);
    const std::string db((std::istreambuf_iterator<char>(db_file)), {});
    if (!db_file || hs_deserialize_database(db.data(), db.size(), &database) != HS_SUCCESS) {
      std::fprintf(stderr, "vectorscan_peer: cannot load %s\n", load);
      return 2;
    }
  } else {
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                             unsigned(keys.size()), HS_MODE_BLOCK, nullptr, &database,
                             &error) != HS_SUCCESS) {
      std::fprintf(stderr, "vectorscan_peer: %s\n", error->message);
      return 2;
    }
  }
  if (save != nullptr) {
    char* db = nullptr;
    std::size_t db_size = 0;
    if (hs_serialize_database(database, &db, &db_size) != HS_SUCCESS) return 2;
    std::ofstream(save, std::ios::binary).write(db, std::streamsize(db_size));
    std::free(db);
  }
  hs_scratch_t* scratch = nullptr;
  if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) return 2;

  const int fd = open(argv[2], O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    std::perror(argv[2]);
    return 2;
  }
  Found found;
  found.keys.assign(keys.size(), 0);
  if (info.st_size > 0) {
    void* bytes = mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes == MAP_FAILED) {
      std::perror("mmap");
      return 2;
    }
    hs_scan(database, static_cast<const char*>(bytes), unsigned(info.st_size), 0, scratch, OnMatch,
            &found);
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (found.keys[i]) std::printf("%u\n", unsigned(i));
  }
  return found.count > 0 ? 1 : 0;
}
