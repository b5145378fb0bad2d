// Runs a fuzz target without libFuzzer: over its seed inputs and a bounded
// number of inputs made from them by random mutations and from random bytes.
// Deterministic (fixed seed), so a failure repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
std::vector<std::string> FuzzSeeds();

int main(int argc, char** argv)
{
    long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
    std::mt19937 rng(20240611);
    auto seeds = FuzzSeeds();
    for (const auto& s : seeds) LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    std::uniform_int_distribution<int> byte(0, 255);
    for (long i = 0; i < runs; ++i) {
        std::string input;
        if (i % 5 == 0) {
            input.resize(std::uniform_int_distribution<std::size_t>(0, 4096)(rng));
            for (auto& c : input) c = static_cast<char>(byte(rng));
        } else {
            input = seeds[static_cast<std::size_t>(i) % seeds.size()];
            int edits = std::uniform_int_distribution<int>(1, 16)(rng);
            for (int e = 0; e < edits; ++e) {
                std::size_t pos = input.empty() ? 0 : std::uniform_int_distribution<std::size_t>(0, input.size())(rng);
                switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
                    case 0:  // flip a byte
                        if (pos < input.size()) input[pos] = static_cast<char>(byte(rng));
                        break;
                    case 1:  // insert a byte
                        input.insert(input.begin() + static_cast<std::ptrdiff_t>(pos), static_cast<char>(byte(rng)));
                        break;
                    case 2:  // cut a piece
                        input.erase(pos, std::uniform_int_distribution<std::size_t>(0, 64)(rng));
                        break;
                    case 3:  // repeat a piece (long lines, large files)
                        input.insert(pos, input.substr(pos, std::uniform_int_distribution<std::size_t>(0, 400)(rng)));
                        break;
                    default: {  // splice in a piece of another seed
                        const auto& other = seeds[std::uniform_int_distribution<std::size_t>(0, seeds.size() - 1)(rng)];
                        std::size_t from = std::uniform_int_distribution<std::size_t>(0, other.size())(rng);
                        input.insert(pos, other.substr(from, 80));
                    }
                }
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    std::printf("%ld inputs passed, 0 failed\n", runs + static_cast<long>(seeds.size()));
    return 0;
}
