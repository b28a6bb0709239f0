// Runs a fuzz target's entry point over every file of its corpus folders,
// so that the test suite (any compiler, with the sanitizers) replays each
// input the fuzzers ever kept. Exits non-zero when a folder is unreadable;
// a finding aborts through the target's own checks or a sanitizer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The fuzzers run with -max_len=16384; anything longer is not a seed.
constexpr std::uintmax_t kLargestInput = 1 << 20;

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<std::filesystem::path> inputs;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error)) {
            if (entry.is_regular_file() && entry.file_size() <= kLargestInput) {
                inputs.push_back(entry.path());
            }
        }
        if (error) {
            std::fprintf(stderr, "cannot read the corpus folder %s: %s\n", argv[i],
                         error.message().c_str());
            return 2;
        }
        for (const auto& path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
