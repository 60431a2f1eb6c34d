// Benchmark entry point: one application object on Qt's offscreen platform, then every row,
// then a summary of each row beside its floor.
#include "benchmain.h"
#include "forms.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

double ResidentMegabytes(const char* field, int pid)
{
    std::ifstream status(pid ? "/proc/" + std::to_string(pid) + "/status" : std::string("/proc/self/status"));
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024.0;
    return 0;
}

namespace {

// The console report, then one table: each row, its floor, and the ratio between them, from
// the medians of the repetitions when there are several, in the order of the rows' names.
class FloorSummary : public benchmark::ConsoleReporter {
public:
    FloorSummary() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
                continue;
            const std::string name =
                run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            // A median replaces the single repetitions it summarises.
            if (run.run_type == Run::RT_Aggregate || !medians_.count(name))
                values_[name] = ValueOf(run);
            if (run.run_type == Run::RT_Aggregate)
                medians_[name] = true;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-56s %14s %14s %8s\n", "row", "ours", "floor", "ratio");
        const std::size_t suffix = std::strlen(kFloorSuffix);
        for (const auto& [name, ours] : values_) {
            if (IsFloor(name, suffix))
                continue;
            const Value* floor = FloorOf(name);
            if (!floor) {
                std::printf("%-56s %14s\n", name.c_str(), Format(ours).c_str());
                continue;
            }
            const double ratio = floor->amount > 0 ? ours.amount / floor->amount : 0;
            std::printf("%-56s %14s %14s %8.2f\n", name.c_str(), Format(ours).c_str(), Format(*floor).c_str(), ratio);
        }
    }

private:
    struct Value {
        double amount = 0; // milliseconds, or megabytes when resident
        bool resident = false;
    };

    static Value ValueOf(const Run& run)
    {
        auto counter = run.counters.find(kResidentCounter);
        if (counter != run.counters.end())
            return {counter->second.value, true};
        return {run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3, false};
    }

    static std::string Format(const Value& value)
    {
        char text[32];
        if (value.resident)
            std::snprintf(text, sizeof text, "%.1f MB", value.amount);
        else if (value.amount >= 1)
            std::snprintf(text, sizeof text, "%.1f ms", value.amount);
        else
            std::snprintf(text, sizeof text, "%.1f us", value.amount * 1e3);
        return text;
    }

    // The floor of "Row/81/81" is "Row/floor/81/81", or "Row/floor" for every argument.
    const Value* FloorOf(const std::string& row) const
    {
        std::string base = row, args;
        for (std::size_t slash; (slash = base.find_last_of('/')) != std::string::npos && slash + 1 < base.size() &&
                                base.find_first_not_of("0123456789", slash + 1) == std::string::npos;) {
            args = base.substr(slash) + args;
            base.resize(slash);
        }
        for (const std::string& name : {base + kFloorSuffix + args, base + kFloorSuffix}) {
            auto found = values_.find(name);
            if (found != values_.end())
                return &found->second;
        }
        return nullptr;
    }

    static bool IsFloor(const std::string& name, std::size_t suffix)
    {
        const std::size_t at = name.find(kFloorSuffix);
        return at != std::string::npos && (at + suffix == name.size() || name[at + suffix] == '/');
    }

    std::map<std::string, Value> values_;
    std::map<std::string, bool> medians_;
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application->Initialize();
    if (argc >= 2 && std::strcmp(argv[1], kResidentChildFlag) == 0)
        return ResidentAfterPage(argc - 2, argv + 2);

    // Medians of five repetitions, the repetitions of all rows interleaved, unless the command
    // line says otherwise: other work on the machine comes and goes within a run, and a row
    // and its floor should meet the same.
    std::vector<char*> args = {argv[0]};
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    static char interleaved[] = "--benchmark_enable_random_interleaving=true";
    args.push_back(repetitions);
    args.push_back(aggregatesOnly);
    args.push_back(interleaved);
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    FloorSummary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    benchmark::Shutdown();
    return 0;
}
