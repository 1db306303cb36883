// Runs zvtape and the baseline side by side on the virtual bus and prints a
// table of ratios. The machines this runs on are noisy, so no figure is an
// absolute time compared across runs: every ratio comes from runs made next
// to each other (in alternating order), and the median of several pairs is
// shown.
//
// zvtape's phase times come from its report (see parse_report), summed over
// several iterations of a run: one 2 GiB phase takes a few tens of ms. The
// first iteration of every timed run, on both sides, is a warm-up and is left
// out: it writes a new medium (page faults, the record index growing) and
// scattered by a fifth from run to run where the others keep within a few
// per cent. Its
// console output goes to a file that nobody reads while it runs: a reader
// woken by every progress mark would take the core from the program it
// measures (on this kind of virtual machine that alone cost a third of the
// rate). The baseline times the same spans itself.
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double MB = 1048576.0;

struct Options {
    std::string zvtape = ZVTAPE_BIN;
    std::string baseline = ZVBENCH_BASELINE_BIN;
    std::string source = ZV_SOURCE_DIR;
    std::string work;
    unsigned megs = 2048;
    unsigned memory_megs = 10240;
    unsigned repetitions = 31;
    bool verbose = false;
    unsigned iterations = 2;
    std::string figures = "12345";  // which figures to measure
};

Options options;

double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The data commands of one phase, summed over a run's measured iterations.
struct Phase {
    double mb = 0;
    double seconds = 0;
    bool unmeasured = false;  // an interval under a millisecond has no time at all

    double rate() const { return seconds > 0 && !unmeasured ? mb / seconds : 0; }  // MB/s
};

struct RunResult {
    bool ok = false;
    double wall_seconds = 0;
    long max_rss_kb = 0;
    Phase phases[2];  // write, read/compare
    std::string output;
};

// The phase times of zvtape's report. The "total time taken" lines round to
// 10 ms, and at memory speed a 2 GiB phase takes a few tens of ms: the
// rounding would be biased by up to a tenth. The rate lines ("write transfer
// rate ... N KB/SEC") come from the same timer at its full millisecond
// resolution, so the time is worked back from them and the amount of the
// "writing/reading X MB" or "actual amount" line before them. The intervals
// of the first warm_up iterations are left out.
void parse_report(RunResult& result, unsigned warm_up) {
    std::istringstream lines(result.output);
    std::string line;
    double interval_mb = 0;
    int phase = 0;
    unsigned long iteration = 1;  // a run of one iteration has no "TEST ITERATION" line
    while (std::getline(lines, line, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t cr = line.rfind('\r');  // progress marks end in CR alone
        if (cr != std::string::npos) line.erase(0, cr + 1);
        if (line.rfind("TEST ITERATION ", 0) == 0) {
            iteration = std::strtoul(line.c_str() + 15, nullptr, 10);
        } else if (line.rfind("writing ", 0) == 0 || line.rfind("reading/comparing ", 0) == 0) {
            phase = line[0] == 'w' ? 0 : 1;
            interval_mb = std::atof(line.c_str() + line.find(' ') + 1);
        } else if (line.rfind("  actual amount of test data", 0) == 0) {
            interval_mb = std::atof(line.c_str() + line.rfind(' ', line.size() - 4) + 1);
        } else if (line.find(" transfer rate ") != std::string::npos && line.size() > 7 &&
                   line.compare(line.size() - 7, 7, " KB/SEC") == 0) {
            const double rate = std::atof(line.c_str() + line.rfind(' ', line.size() - 8) + 1);  // KB of 1000
            if (iteration <= warm_up) {
                // a warm-up interval
            } else if (rate > 0) {
                result.phases[phase].seconds += interval_mb * MB / (rate * 1000);
                result.phases[phase].mb += interval_mb;
            } else {
                result.phases[phase].unmeasured = true;
            }
        }
    }
}

// Runs a program in the work folder, its standard output into a file there,
// and keeps the output, the wall time and the peak resident memory.
RunResult run(const std::vector<std::string>& arguments) {
    RunResult result;
    const std::string output_name = options.work + "/console.txt";
    const double start = now_s();
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        const int out = open(output_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null_fd = open("/dev/null", O_WRONLY);
        if (out < 0 || null_fd < 0 || dup2(out, 1) < 0 || dup2(null_fd, 2) < 0) _exit(127);
        if (chdir(options.work.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wall_seconds = now_s() - start;
    result.max_rss_kb = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::ifstream in(output_name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
    return result;
}

[[noreturn]] void die(const std::string& what, const RunResult& result) {
    const std::string& o = result.output;
    std::fprintf(stderr, "zvbench: %s failed; the end of its output:\n%s\n", what.c_str(),
                 o.substr(o.size() > 2000 ? o.size() - 2000 : 0).c_str());
    std::exit(1);
}

std::string text(double value, const char* format = "%.0f") {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// Timed runs make one iteration more than they measure: the warm-up.
constexpr unsigned WARM_UP = 1;

std::vector<std::string> zvtape_arguments(unsigned length, bool random, unsigned megs, unsigned iterations) {
    std::vector<std::string> a = {options.zvtape, "/vbus",  options.source + "/bench/bench.vbus",
                                  "/ofile",       "zvtape.out", "/maxtl", text(length),
                                  "/megs",        text(megs),   "/loop",  text(iterations)};
    if (random) a.push_back("/drand");
    return a;
}

void show(const std::string& what, const RunResult& r) {
    if (!options.verbose) return;
    std::fprintf(stderr, "  %-30s write %7.0f MB/s (%.3f s)  read %7.0f MB/s (%.3f s)  whole run %.3f s\n",
                 what.c_str(), r.phases[0].rate(), r.phases[0].seconds, r.phases[1].rate(), r.phases[1].seconds,
                 r.wall_seconds);
}

// timed: the phase times must be usable (not with short status intervals).
RunResult run_zvtape(const std::vector<std::string>& arguments, const std::string& what, bool timed = true,
                     unsigned warm_up = WARM_UP) {
    RunResult r = run(arguments);
    if (r.ok) parse_report(r, warm_up);
    if (!r.ok) die(what, r);
    if (timed && (r.phases[0].rate() <= 0 || r.phases[1].rate() <= 0)) {
        std::fprintf(stderr, "zvbench: %s: a phase too short for zvtape's millisecond timer (give more --megs)\n",
                     what.c_str());
        std::exit(1);
    }
    show(what, r);
    return r;
}

// The baseline prints a "write NS MB" and a "read NS MB" line per iteration.
RunResult run_baseline(unsigned length, bool random, unsigned megs, unsigned iterations, const std::string& what,
                       unsigned warm_up = WARM_UP) {
    RunResult r = run({options.baseline, options.source + "/bench/bench.vbus", text(length), text(megs),
                       random ? "random" : "null", text(iterations)});
    std::istringstream lines(r.output);
    std::string name;
    long long ns = 0;
    double mb = 0;
    for (unsigned i = 0; lines >> name >> ns >> mb; ++i) {
        if (i / 2 < warm_up) continue;
        Phase& p = r.phases[name == "read" ? 1 : 0];
        p.seconds += static_cast<double>(ns) / 1e9;
        p.mb += mb;
    }
    if (!r.ok || r.phases[0].rate() <= 0 || r.phases[1].rate() <= 0) die(what, r);
    show(what, r);
    return r;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// memcpy and memcmp bandwidth in MB/s for one block size, on buffers that
// stay put (as the emulator's stored record and zvtape's two buffers do).
// How the buffers lie against each other matters (4 KiB aliasing of loads and
// stores), so a few placements are tried and the best counts: the limit is
// what the machine allows.
struct Bandwidth {
    double copy = 0;
    double compare = 0;
};

double time_rounds(const std::function<void()>& round) {
    std::uint64_t rounds = 0;
    const double start = now_s();
    double elapsed = 0;
    do {
        for (int i = 0; i < 8; ++i) round();
        rounds += 8;
        elapsed = now_s() - start;
    } while (elapsed < 0.05);
    return static_cast<double>(rounds) / elapsed;
}

Bandwidth measure_bandwidth(std::size_t size) {
    constexpr std::size_t PAGE = 4096;
    const std::size_t stride = (size + 3 * PAGE) & ~(PAGE - 1);
    std::vector<std::uint8_t> block(3 * stride + 2 * PAGE);
    std::uint8_t* base = block.data() + (PAGE - reinterpret_cast<std::uintptr_t>(block.data()) % PAGE);
    std::mt19937 generator(1);
    for (std::size_t i = 0; i < size; ++i) base[i] = static_cast<std::uint8_t>(generator());
    Bandwidth best;
    volatile int sink = 0;
    for (const std::size_t shift : {std::size_t{0}, std::size_t{64}, std::size_t{2048 + 192}}) {
        std::uint8_t* a = base;
        std::uint8_t* b = base + stride + shift;
        std::uint8_t* c = base + 2 * stride + 2 * shift;
        std::memcpy(b, a, size);
        std::memcpy(c, a, size);
        const double copies = time_rounds([&] {
            std::memcpy(c, a, size);
            asm volatile("" : : "r"(c) : "memory");
        });
        const double compares = time_rounds([&] {
            sink = sink + std::memcmp(a, b, size);
            asm volatile("" : : "r"(a), "r"(b) : "memory");
        });
        best.copy = std::max(best.copy, copies * static_cast<double>(size) / MB);
        best.compare = std::max(best.compare, compares * static_cast<double>(size) / MB);
    }
    return best;
}

std::string first_line_of(const char* file, const char* key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "?";
}

std::string uname_release() {
    utsname name{};
    return uname(&name) == 0 ? name.release : "?";
}

void usage() {
    std::fprintf(stderr,
                 "usage: zvbench [--quick] [--megs N] [--iterations N] [--repetitions N] [--memory-megs N]\n"
                 "               [--figures LIST] [--zvtape PATH] [--verbose]\n"
                 "  --quick          smoke check: 256 MB per phase, 2 iterations, 3 repetitions, 1024 MB memory run\n"
                 "  --megs N         MB per phase (default 2048)\n"
                 "  --iterations N   measured test iterations per run, their phase times summed (default 2);\n"
                 "                   every timed run makes one more first, as a warm-up\n"
                 "  --repetitions N  pairs of runs per figure (default 31)\n"
                 "  --memory-megs N  MB of the peak memory run (default 10240)\n"
                 "  --figures LIST   only these figures, e.g. 13 (default 12345; 2 needs 1)\n"
                 "  --zvtape PATH    the zvtape program to measure (default: the one built beside zvbench)\n"
                 "  --verbose        every run's rates on standard error\n");
}

bool parse_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](unsigned& out) {
            if (i + 1 >= argc) return false;
            out = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            return out > 0;
        };
        if (a == "--quick") {
            options.megs = 256;
            options.iterations = 2;
            options.repetitions = 3;
            options.memory_megs = 1024;
        } else if (a == "--megs") {
            if (!value(options.megs)) return false;
        } else if (a == "--iterations") {
            if (!value(options.iterations)) return false;
        } else if (a == "--repetitions") {
            if (!value(options.repetitions)) return false;
        } else if (a == "--memory-megs") {
            if (!value(options.memory_megs)) return false;
        } else if (a == "--figures") {
            if (i + 1 >= argc) return false;
            options.figures = argv[++i];
        } else if (a == "--zvtape") {
            if (i + 1 >= argc) return false;
            options.zvtape = argv[++i];
        } else if (a == "--verbose") {
            options.verbose = true;
        } else {
            return false;
        }
    }
    return true;
}

struct Row {
    std::string figure;
    std::string value;
    std::string goal;
    std::string verdict;
};

std::vector<Row> rows;

void row(const std::string& figure, const std::string& value, const std::string& goal = "",
         const std::string& verdict = "") {
    rows.push_back({figure, value, goal, verdict});
}

// Rates (or any figure where more is better) of runs made in pairs.
struct Pairs {
    std::vector<double> measured;
    std::vector<double> reference;

    void add(double m, double r) {
        measured.push_back(m);
        reference.push_back(r);
    }
};

// The 95 % confidence interval of a median from n sorted values, free of any
// assumption about their distribution: the k-th lowest and k-th highest,
// with k the largest for which P(Binomial(n, 1/2) < k) stays within 2.5 %.
// Returns 0-based indexes; for n below 6 the interval is the whole range.
std::pair<std::size_t, std::size_t> median_interval(std::size_t n) {
    double below = 0;  // P(X <= i)
    double term = std::pow(0.5, static_cast<double>(n));  // P(X == i)
    std::size_t k = 0;
    for (std::size_t i = 0; i < n / 2; ++i) {
        below += term;
        if (below > 0.025) break;
        k = i + 1;
        term = term * static_cast<double>(n - i) / static_cast<double>(i + 1);
    }
    if (k == 0) k = 1;
    return {k - 1, n - k};
}

// The median of the pairs' ratios with its 95 % interval, and the ratio of
// the best runs: a busy machine only ever slows a run down, so the best runs
// are the least disturbed ones.
void ratio_row(const std::string& figure, const Pairs& pairs, double goal) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < pairs.measured.size(); ++i) ratios.push_back(pairs.measured[i] / pairs.reference[i]);
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    const double m = median(ratios);
    const auto [low, high] = median_interval(ratios.size());
    const double best = *std::max_element(pairs.measured.begin(), pairs.measured.end()) /
                        *std::max_element(pairs.reference.begin(), pairs.reference.end());
    row(figure,
        text(m, "%.3f") + " (" + text(ratios[low], "%.3f") + "-" + text(ratios[high], "%.3f") + ")  " +
            text(best, "%.3f"),
        ">= " + text(goal, "%.2f"), m >= goal ? "met" : "MISSED");
}

bool wanted(char figure) { return options.figures.find(figure) != std::string::npos; }

}  // namespace

int main(int argc, char** argv) {
    if (!parse_arguments(argc, argv)) {
        usage();
        return 2;
    }
    char work_template[] = "/tmp/zvbench.XXXXXX";
    if (mkdtemp(work_template) == nullptr) {
        std::perror("zvbench: mkdtemp");
        return 1;
    }
    options.work = work_template;
    {
        std::ifstream dsc(options.source + "/examples/zvtape.dsc", std::ios::binary);
        std::ofstream copy(options.work + "/zvtape.dsc", std::ios::binary);
        copy << dsc.rdbuf();
    }

    const unsigned lengths[2] = {0x10000, 0x100000};
    const char* length_names[2] = {"64 KiB", "1 MiB"};
    const char* pattern_names[2] = {"null", "random"};
    const unsigned reps = options.repetitions;
    const unsigned megs = options.megs;
    const unsigned loops = options.iterations;
    const unsigned run_loops = loops + WARM_UP;
    const unsigned interval_megs = std::max(1u, megs / 32);

    // rates[length][pattern][phase]: zvtape's against the baseline's.
    Pairs rates[2][2][2];
    std::vector<double> baseline_rates[2][2];  // [length][phase], both patterns
    std::vector<double> copy_rates[2], compare_rates[2];
    Pairs cfile_rates[2], dsc_speeds;

    std::fprintf(stderr, "zvbench: %u MB per phase, %u iterations per run, %u repetitions, work folder %s\n", megs,
                 loops, reps, options.work.c_str());
    for (unsigned r = 0; r < reps && (wanted('1') || wanted('3')); ++r) {
        std::fprintf(stderr, "zvbench: repetition %u of %u\n", r + 1, reps);
        const bool zvtape_first = r % 2 == 1;
        for (int l = 0; l < 2 && wanted('1'); ++l) {
            for (int p = 0; p < 2; ++p) {
                const std::string cell = std::string(length_names[l]) + " " + pattern_names[p];
                const auto arguments = zvtape_arguments(lengths[l], p == 1, megs, run_loops);
                RunResult z, b;
                if (zvtape_first) z = run_zvtape(arguments, "zvtape " + cell);
                b = run_baseline(lengths[l], p == 1, megs, run_loops, "baseline " + cell);
                if (!zvtape_first) z = run_zvtape(arguments, "zvtape " + cell);
                for (int phase = 0; phase < 2; ++phase) {
                    rates[l][p][phase].add(z.phases[phase].rate(), b.phases[phase].rate());
                    baseline_rates[l][phase].push_back(b.phases[phase].rate());
                }
            }
            if (wanted('2')) {
                const Bandwidth bw = measure_bandwidth(lengths[l]);
                copy_rates[l].push_back(bw.copy);
                compare_rates[l].push_back(bw.compare);
            }
        }
        if (!wanted('3')) continue;

        // The CDB list on against off, per phase. The drive status with every
        // item against none, with status intervals: it runs between the
        // intervals, outside the phase timer, so the whole run's wall time is
        // compared.
        const auto plain = zvtape_arguments(0x10000, false, megs, run_loops);
        auto with_cfile = plain;
        with_cfile.insert(with_cfile.end(), {"/cfile", "cdb.lst"});
        auto intervals = plain;
        intervals.insert(intervals.end(), {"/sdint", text(interval_megs)});
        auto with_dsc = intervals;
        with_dsc.insert(with_dsc.end(), {"/dsc", "VIRTUAL"});
        RunResult off, on, none, all;
        if (zvtape_first) {
            on = run_zvtape(with_cfile, "zvtape /cfile");
            off = run_zvtape(plain, "zvtape");
            all = run_zvtape(with_dsc, "zvtape /sdint /dsc VIRTUAL", false);
            none = run_zvtape(intervals, "zvtape /sdint", false);
        } else {
            off = run_zvtape(plain, "zvtape");
            on = run_zvtape(with_cfile, "zvtape /cfile");
            none = run_zvtape(intervals, "zvtape /sdint", false);
            all = run_zvtape(with_dsc, "zvtape /sdint /dsc VIRTUAL", false);
        }
        for (int phase = 0; phase < 2; ++phase)
            cfile_rates[phase].add(on.phases[phase].rate(), off.phases[phase].rate());
        dsc_speeds.add(1 / all.wall_seconds, 1 / none.wall_seconds);
    }

    if (wanted('1')) {
        for (int l = 0; l < 2; ++l)
            for (int p = 0; p < 2; ++p)
                for (int phase = 0; phase < 2; ++phase)
                    ratio_row(std::string("1. zvtape / baseline, ") + (phase ? "read/compare " : "write        ") +
                                  length_names[l] + " " + pattern_names[p],
                              rates[l][p][phase], 0.97);
    }
    if (wanted('1') && wanted('2')) {
        for (int l = 0; l < 2; ++l) {
            const double copy = median(copy_rates[l]);
            const double compare = median(compare_rates[l]);
            const double read_limit = 1.0 / (1.0 / copy + 1.0 / compare);
            const double write_rate = median(baseline_rates[l][0]);
            const double read_rate = median(baseline_rates[l][1]);
            row(std::string("2. memcpy / memcmp MB/s, ") + length_names[l], text(copy) + " / " + text(compare));
            row(std::string("2. baseline write / memcmp, ") + length_names[l],
                text(write_rate / compare, "%.3f") + " (" + text(write_rate) + " MB/s)");
            row(std::string("2. baseline read / (memcpy+memcmp), ") + length_names[l],
                text(read_rate / read_limit, "%.3f") + " (" + text(read_rate) + " of " + text(read_limit) +
                    " MB/s)");
        }
    }
    if (wanted('3')) {
        ratio_row("3. /cfile on / off, write 64 KiB", cfile_rates[0], 0.95);
        ratio_row("3. /cfile on / off, read/compare 64 KiB", cfile_rates[1], 0.95);
        ratio_row("3. /dsc VIRTUAL / none, /sdint " + text(interval_megs) + ", whole run", dsc_speeds, 0.95);
    }

    if (wanted('4')) {
        // Peak memory: one long run at 64 KiB per command, the baseline beside it.
        std::fprintf(stderr, "zvbench: memory run of %u MB\n", options.memory_megs);
        const RunResult z = run_zvtape(zvtape_arguments(0x10000, true, options.memory_megs, 1), "zvtape memory run", true, 0);
        const RunResult b = run_baseline(0x10000, true, options.memory_megs, 1, "baseline memory run", 0);
        const double rss_mb = z.max_rss_kb / 1024.0;
        row("4. peak RSS MiB, " + text(options.memory_megs) + " MB at 64 KiB: zvtape (baseline)",
            text(rss_mb, "%.1f") + " (" + text(b.max_rss_kb / 1024.0, "%.1f") + ")", "< 64",
            rss_mb < 64 ? "met" : "MISSED");
    }

    if (wanted('5')) {
        // Start-up: a whole run that moves no data, against `true`; "/?"
        // (the help screen: the program loaded, nothing opened) shows how
        // much of it is loading the program.
        std::fprintf(stderr, "zvbench: start-up\n");
        std::vector<double> run_ms, help_ms, true_ms;
        const auto arguments = zvtape_arguments(0x10000, false, 0, 1);
        for (unsigned r = 0; r < std::max(11u, reps); ++r) {
            const RunResult z = run(arguments);
            if (!z.ok) die("zvtape /megs 0", z);
            const RunResult h = run({options.zvtape, "/?"});
            const RunResult t = run({"true"});
            run_ms.push_back(z.wall_seconds * 1000);
            help_ms.push_back(h.wall_seconds * 1000);
            true_ms.push_back(t.wall_seconds * 1000);
        }
        const double startup = median(run_ms), truth = median(true_ms);
        row("5. start-up ms: /megs 0 run (/?) vs true", text(startup, "%.1f") + " (" + text(median(help_ms), "%.1f") +
                                                             ") vs " + text(truth, "%.1f") + ": +" +
                                                             text(startup - truth, "%.1f"));
    }

    std::printf("zvtape benchmark: %u MB per phase x %u iterations (after %u warm-up), %u repetitions\n", megs,
                loops, WARM_UP, reps);
    std::printf("ratios: median of the pairs (its 95 %% interval), then best run against best run\n");
    std::printf("machine: %ld cores, %s, kernel %s, %s\n\n", sysconf(_SC_NPROCESSORS_ONLN),
                first_line_of("/proc/cpuinfo", "model name").c_str(), uname_release().c_str(), ZV_COMPILER);
    std::size_t width[3] = {6, 5, 4};
    for (const Row& r : rows) {
        width[0] = std::max(width[0], r.figure.size());
        width[1] = std::max(width[1], r.value.size());
        width[2] = std::max(width[2], r.goal.size());
    }
    std::printf("%-*s  %-*s  %-*s  %s\n", int(width[0]), "figure", int(width[1]), "value", int(width[2]), "goal",
                "");
    for (const Row& r : rows)
        std::printf("%-*s  %-*s  %-*s  %s\n", int(width[0]), r.figure.c_str(), int(width[1]), r.value.c_str(),
                    int(width[2]), r.goal.c_str(), r.verdict.c_str());

    for (const char* name : {"zvtape.out", "cdb.lst", "zvtape.dsc", "console.txt"})
        std::remove((options.work + "/" + name).c_str());
    rmdir(options.work.c_str());
    bool all_met = true;
    for (const Row& r : rows) all_met = all_met && r.verdict != "MISSED";
    return all_met ? 0 : 3;
}
