// Two runs into one output that does not exist yet, many rounds over: a command-line run
// (a process of its own) against a run as the window makes it (in this process), started
// a random moment apart. Every round must end with the output holding one run's whole
// conversion, a refused run telling so, and no temporary file left. Prints the tally.
//   tolvane_output_race TOLVANE ROUNDS
#include "engine/Conversion.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TOLVANE ROUNDS\n", argv[0]);
        return 2;
    }
    const int rounds = std::atoi(argv[2]);
    const fs::path dir = fs::temp_directory_path() / ("tolvane-race-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path source = dir / "s.csv";
    const fs::path output = dir / "o.csv";
    std::string bytes, byCli, byWindow;
    for (int i = 1; i <= 1000000; ++i) {
        bytes += std::to_string(i) + ",x\r\n";
        byCli += "x," + std::to_string(i) + "\r\n";
        byWindow += std::to_string(i) + "\r\n";
    }
    std::ofstream(source, std::ios::binary) << bytes;
    engine::ColumnMap map(1);
    map.push_back({0, 0, 1});
    const engine::ConversionSettings settings{",", ",", map};

    std::mt19937 random(42);
    int cliOnly = 0, windowOnly = 0, both = 0, neither = 0, wrong = 0, leftovers = 0;
    for (int round = 0; round < rounds; ++round) {
        fs::remove(output);
        std::string src = source.string(), out = output.string();
        char* args[] = {argv[1],
                        const_cast<char*>("convert"),
                        const_cast<char*>("-c"),
                        const_cast<char*>("2,1"),
                        src.data(),
                        out.data(),
                        nullptr};
        pid_t child = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&child, argv[1], &actions, nullptr, args, environ) != 0)
            return 1;
        posix_spawn_file_actions_destroy(&actions);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100000));
        engine::RunRequest request;
        request.source = source;
        request.output = output;
        engine::Conversion window;
        bool windowDone = window.prepare(request) == engine::Conversion::Status::Running &&
                          window.runToEnd(settings) == engine::Conversion::Status::Done;
        int status = 0;
        waitpid(child, &status, 0);
        const bool cliDone = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        const std::string got = read(output);
        // Both may succeed only one after the other; the output is then the later one's.
        if (got != byCli && got != byWindow && !(got.empty() && !cliDone && !windowDone))
            ++wrong;
        if (cliDone && windowDone)
            ++both;
        else if (cliDone)
            ++cliOnly;
        else if (windowDone)
            ++windowOnly;
        else
            ++neither;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().find(".tolvane-") != std::string::npos) {
                ++leftovers;
                fs::remove(entry.path());
            }
    }
    fs::remove_all(dir);
    std::printf("rounds %d: command line alone %d, window alone %d, both one after the other %d, neither %d; "
                "outputs not one run's whole %d; temporary files left %d\n",
                rounds, cliOnly, windowOnly, both, neither, wrong, leftovers);
    return wrong == 0 && leftovers == 0 && neither == 0 ? 0 : 1;
}
