#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

// Runs a harness over saved inputs without libFuzzer, so that every compiler can replay the
// seed corpus and the inputs behind a crash.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool runFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return true;
}

// Sorted, so that a failure always shows up after the same inputs.
std::vector<fs::path> filesIn(const fs::path &directory, std::error_code &error)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry &entry : fs::directory_iterator(directory, error)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <input file or directory>...\n", argv[0]);
        return 2;
    }

    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path argument(argv[i]);
        std::error_code error;
        if (!fs::is_directory(argument, error)) {
            if (!runFile(argument))
                return 1;
            ++inputs;
            continue;
        }
        const std::vector<fs::path> files = filesIn(argument, error);
        if (error || files.empty()) {
            // An empty corpus would pass without testing anything.
            std::fprintf(stderr, "no inputs in %s\n", argument.string().c_str());
            return 1;
        }
        for (const fs::path &file : files) {
            if (!runFile(file))
                return 1;
            ++inputs;
        }
    }
    std::printf("%d inputs passed\n", inputs);
    return 0;
}
