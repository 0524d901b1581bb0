// vekctl firmware on a farm of controllers: the whole vekctl process updating one vek-sim alone, against
// the same process updating all of them at once, each simulator paced at a real baud rate.
//
//   build/bench/bench_vekctlFarm [RUNS [CONTROLLERS [KIB [BAUD]]]]     (defaults 5, 4, 64, 115200)
//
// Starts CONTROLLERS simulators with --baud BAUD, writes an image of KIB KiB, then runs, RUNS times in
// turn, `vekctl firmware` on the first port alone and on every port at once (one vekctl, one --port per
// simulator), timing each process from its start to its exit. Prints every run, the medians, and the
// ratio of the medians and the median of the ratios of each pair (goal: at most 1.2).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/kwyFile.h"
#include "support/simProcess.h"

extern char** environ;

namespace {

// Seconds from the start of vekctl to its exit; negative when it failed.
double TimeVekctl(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = VEKCTL_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int controllers = argc > 2 ? std::atoi(argv[2]) : 4;
    const int kib = argc > 3 ? std::atoi(argv[3]) : 64;
    const std::string baud = argc > 4 ? argv[4] : "115200";
    if (runs < 1 || controllers < 1 || kib < 1) {
        std::fprintf(stderr, "usage: %s [RUNS [CONTROLLERS [KIB [BAUD]]]]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    const QString image = dir.filePath("farm.kwy");
    if (!WriteKwy(image, 0x5645, KwyPattern(size_t(kib) * 1024, 3))) return 1;
    std::vector<std::unique_ptr<TSimProcess>> sims;
    for (int i = 0; i < controllers; ++i) {
        sims.push_back(std::make_unique<TSimProcess>(std::vector<std::string>{"--baud", baud}));
        if (!sims.back()->Started()) {
            std::fprintf(stderr, "vek-sim: %s\n", sims.back()->Error().c_str());
            return 1;
        }
    }
    std::vector<std::string> alone{"firmware", "--port", sims[0]->PortName(), image.toStdString()};
    std::vector<std::string> all{"firmware"};
    for (const auto& sim : sims) all.insert(all.end(), {"--port", sim->PortName()});
    all.push_back(image.toStdString());

    std::printf("vekctl firmware, %d KiB image, vek-sim --baud %s: one controller against %d at once\n", kib,
                baud.c_str(), controllers);
    std::vector<double> one, many, ratios;
    for (int run = 0; run < runs; ++run) {
        const double a = TimeVekctl(alone);
        const double b = TimeVekctl(all);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "run %d: vekctl failed (%.2f s alone, %.2f s all)\n", run + 1, a, b);
            return 1;
        }
        one.push_back(a), many.push_back(b), ratios.push_back(b / a);
        std::printf("run %d: one %.3f s, %d at once %.3f s, ratio %.3f\n", run + 1, a, controllers, b, b / a);
    }
    std::printf(
        "median: one %.3f s, %d at once %.3f s; ratio of medians %.3f, median ratio %.3f (goal <= 1.2)\n",
        Median(one), controllers, Median(many), Median(many) / Median(one), Median(ratios));
    return 0;
}
