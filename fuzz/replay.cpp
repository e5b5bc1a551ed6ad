// Replays inputs through a fuzz harness without libFuzzer, as an ordinary
// program the tests can run:
//   replay_<reader> FILE_OR_FOLDER...
// Each file, and each regular file in each folder, goes once through the
// harness's LLVMFuzzerTestOneInput. A crash or a sanitizer report ends the
// run; otherwise it prints how many inputs it replayed and exits 0. A
// folder holding no files, or a file it cannot read, fails the run.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool replay_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        fprintf(stderr, "replay: Cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    // the named file on stderr first, so that a crash names its input
    fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

// The regular files of folder, in name order so that runs repeat.
std::vector<std::string> files_in(const std::string &folder, std::error_code &error)
{
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file())
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "Usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 1;
    }
    int replayed = 0;
    for (int i = 1; i < argc; i++) {
        std::error_code error;
        if (!std::filesystem::is_directory(argv[i], error)) {
            if (!replay_file(argv[i]))
                return 1;
            replayed++;
            continue;
        }
        std::vector<std::string> paths = files_in(argv[i], error);
        if (error) {
            fprintf(stderr, "replay: Cannot read %s: %s\n", argv[i], error.message().c_str());
            return 1;
        }
        // a seed folder gone empty would otherwise pass unnoticed
        if (paths.empty()) {
            fprintf(stderr, "replay: %s holds no inputs\n", argv[i]);
            return 1;
        }
        for (const std::string &path : paths) {
            if (!replay_file(path))
                return 1;
            replayed++;
        }
    }
    printf("replay: %d inputs replayed\n", replayed);
    return 0;
}
