// Filling the file list and sorting it: 10,000 prepared records added one by one (each placed by a binary
// search on its key), then the list sorted in each of the four orders. Sorting only reorders rows by the
// keys made when each record was read; no file is touched.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "window/file_list.h"

namespace moraven {
namespace {

constexpr int kFiles = 10000;

// A size key: 32 upper-case hexadecimal digits.
std::string hex32(std::uint32_t value) {
    std::string digits(32, '0');
    for (std::size_t i = 0; i < 8; ++i) digits[31 - i] = "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
    return digits;
}

struct Fixture {
    Fixture() {
        std::mt19937 random(42);
        for (int i = 0; i < kFiles; ++i) {
            const std::string name =
                "clip" + std::to_string(random() % 1000000) + "_" + std::to_string(i) + ".avi";
            paths.push_back(dir.write(name, {}));
            test::FakeListRecord::Facts facts;
            facts.datecodeKey = std::to_string(20000101000000ULL + random() % 100000000ULL);
            facts.sizeKey = hex32(static_cast<std::uint32_t>(random()));
            facts.dateKey = std::to_string(20100101000000ULL + random() % 100000000ULL);
            facts.datecodeText.assign(1, '-');  // readable, not DV
            factsOf.push_back(facts);
        }
    }
    // Hands out the prepared facts by path index, so that the benchmark measures the list, not a reader.
    RecordFactory factory() {
        return [this](const std::string& path) -> std::unique_ptr<ListRecord> {
            return std::make_unique<test::FakeListRecord>(path, factsOf[next++ % factsOf.size()]);
        };
    }

    test::TempDir dir;
    std::vector<std::string> paths;
    std::vector<test::FakeListRecord::Facts> factsOf;
    std::size_t next = 0;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_AddFiles(benchmark::State& bench) {
    Fixture& f = fixture();
    for (auto _ : bench) {
        WindowState state;
        Settings settings;
        test::ScriptedInteraction ui;
        f.next = 0;
        FileList list(state, settings, ui, f.factory());
        list.BeginListLoad("Loading files");
        for (const std::string& path : f.paths) list.AddFile(path);
        list.EndListLoad();
        benchmark::DoNotOptimize(list.rowCount());
    }
    bench.counters["files/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * kFiles, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AddFiles)->Unit(benchmark::kMillisecond);

void BM_SortList(benchmark::State& bench) {
    Fixture& f = fixture();
    WindowState state;
    Settings settings;
    test::ScriptedInteraction ui;
    f.next = 0;
    FileList list(state, settings, ui, f.factory());
    for (const std::string& path : f.paths) list.AddFile(path);
    const int order = static_cast<int>(bench.range(0));
    for (auto _ : bench) {
        list.SortList(order);
        bench.PauseTiming();
        list.SortList((order + 1) % 4);  // start each round from another order
        bench.ResumeTiming();
    }
    bench.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * kFiles, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SortList)->DenseRange(0, 3)->ArgName("order")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace moraven

BENCHMARK_MAIN();
