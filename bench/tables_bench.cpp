// Benchmark of table files: load, save, CSV import and export of a 10,000 x 20 table, against
// a bare expat pass with empty callbacks over the same file, with the load/expat ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include <expat.h>

#include "QzTable.h"

namespace {

constexpr int kRows = 10000;
constexpr int kColumns = 20;

std::string gTableFile;  // the XML table every benchmark reads
std::string gCSVText;    // the same table as comma-separated text
std::string gScratch;    // folder for files the benchmarks write

// Cells of mixed lengths, some with characters that need escaping.
std::string cellText(int row, int column) {
    static const char* const kPieces[] = {"plain", "a, b", "\"quoted\"", "Tom & Jerry", "back\\slash",
                                          "two\nlines", "<tag>", "caf\xc3\xa9", "tab\there", "42"};
    std::string text;
    const int pieces = 1 + (row * 7 + column * 3) % 6;
    for (int i = 0; i < pieces; ++i) {
        if (i > 0) text += ' ';
        text += kPieces[(row + column + i) % 10];
    }
    return text;
}

void prepareFiles() {
    gScratch = (std::filesystem::temp_directory_path() / "qz_tables_bench").string();
    std::filesystem::create_directories(gScratch);
    QzTable table;
    table.setTableName("Benchmark");
    table.setNumberOfColumns(kColumns);
    table.setNumberOfRows(kRows);
    for (int column = 0; column < kColumns; ++column) {
        table.setColumnType(column, static_cast<ColumnType>(column % 8));
        table.setColumnTitle(column, "Column " + std::to_string(column));
    }
    for (int row = 0; row < kRows; ++row) {
        table.setRowTitle(row, "Row " + std::to_string(row));
        for (int column = 0; column < kColumns; ++column) table.setCellValue(row, column, cellText(row, column));
    }
    gTableFile = gScratch + "/table.xml";
    table.saveTable(gTableFile, false);
    table.exportCSV(gScratch + "/table.csv");
    std::ifstream in(gScratch + "/table.csv", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    gCSVText = text.str();
}

void XMLCALL startElement(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL endElement(void*, const XML_Char*) {}
void XMLCALL characterData(void*, const XML_Char*, int) {}

// The baseline: the file read in the same 4096-byte blocks through expat with empty handlers.
void BM_BareExpatPass(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* file = std::fopen(gTableFile.c_str(), "rb");
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(parser, startElement, endElement);
        XML_SetCharacterDataHandler(parser, characterData);
        char block[4096];
        for (;;) {
            const size_t count = std::fread(block, 1, sizeof block, file);
            const bool final = count < sizeof block;
            if (XML_Parse(parser, block, static_cast<int>(count), final) == XML_STATUS_ERROR) {
                state.SkipWithError("expat failed");
                break;
            }
            if (final) break;
        }
        XML_ParserFree(parser);
        std::fclose(file);
    }
}

// Loading into a fresh table; freeing the loaded table is timed on its own below.
void BM_LoadTable(benchmark::State& state) {
    for (auto _ : state) {
        auto table = std::make_unique<QzTable>();
        if (!table->loadTable(gTableFile)) state.SkipWithError("load failed");
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
}

void BM_FreeLoadedTable(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto table = std::make_unique<QzTable>();
        table->loadTable(gTableFile);
        state.ResumeTiming();
        table.reset();
    }
}

void BM_SaveTable(benchmark::State& state) {
    QzTable table;
    table.loadTable(gTableFile);
    const std::string target = gScratch + "/saved.xml";
    for (auto _ : state) {
        if (!table.saveTable(target, false)) state.SkipWithError("save failed");
    }
}

// Importing into a fresh table; freeing it afterwards is not timed (see BM_FreeLoadedTable).
void BM_ImportCSV(benchmark::State& state) {
    for (auto _ : state) {
        auto table = std::make_unique<QzTable>();
        table->importCSV(gCSVText);
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
}

void BM_ExportCSV(benchmark::State& state) {
    QzTable table;
    table.loadTable(gTableFile);
    const std::string target = gScratch + "/exported.csv";
    for (auto _ : state) {
        if (!table.exportCSV(target)) state.SkipWithError("export failed");
    }
}

BENCHMARK(BM_BareExpatPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeLoadedTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportCSV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportCSV)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's CPU time per iteration (steadier than wall time on a shared machine)
// so the ratio can be printed after the run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With --benchmark_repetitions the median replaces the single runs.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;  // milliseconds
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    prepareFiles();
    std::printf("table file: %s, %ju bytes, %d rows x %d columns\n", gTableFile.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(gTableFile)), kRows, kColumns);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double expat = reporter.times["BM_BareExpatPass"];
    const double load = reporter.times["BM_LoadTable"];
    if (expat > 0 && load > 0) {
        std::printf("load / bare expat pass (CPU time) = %.2f (target: at most 2.00)\n", load / expat);
    }
    std::filesystem::remove_all(gScratch);
    benchmark::Shutdown();
    return 0;
}
