// Stand-in for libFuzzer in ordinary builds: replays the files given on the
// command line (files or folders of seeds), then a fixed batch of pseudo-random
// inputs and mutations of the seeds, so each fuzz target also runs as a
// deterministic regression test. VANTREL_FUZZ_RUNS sets the batch size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::vector<uint8_t>> LoadSeeds(int argc, char** argv) {
  std::vector<std::vector<uint8_t>> seeds;
  auto add = [&](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p, ec))
        if (e.is_regular_file()) add(e.path());
    } else if (std::filesystem::is_regular_file(p, ec)) {
      add(p);
    }
  }
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  auto seeds = LoadSeeds(argc, argv);
  for (const auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());

  long runs = 2000;
  if (const char* env = std::getenv("VANTREL_FUZZ_RUNS")) runs = std::strtol(env, nullptr, 10);
  std::mt19937 rng(20261210);
  std::vector<uint8_t> buf;
  for (long r = 0; r < runs; ++r) {
    if (!seeds.empty() && (r & 1)) {
      buf = seeds[rng() % seeds.size()];
      size_t flips = 1 + rng() % 8;
      for (size_t k = 0; k < flips && !buf.empty(); ++k) {
        switch (rng() % 3) {
          case 0: buf[rng() % buf.size()] = static_cast<uint8_t>(rng()); break;
          case 1: buf.resize(rng() % (buf.size() + 1)); break;
          default: buf.insert(buf.begin() + rng() % (buf.size() + 1), static_cast<uint8_t>(rng()));
        }
      }
    } else {
      buf.resize(rng() % 4096);
      for (auto& b : buf) b = static_cast<uint8_t>(rng());
    }
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  std::printf("fuzz driver: %zu seeds, %ld generated inputs\n", seeds.size(), runs);
  return 0;
}
