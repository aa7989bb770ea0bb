// Micro-benchmarks of the hot paths: the value scan, F4.1 rendering and the
// surge evaluation, each beside a standard-library baseline.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "model/surge.h"
#include "recio/number_format.h"
#include "recio/scanner.h"

namespace {

// Serves the same record for ever, so that only the scan is measured.
class RepeatedRecord : public recio::RecordSource {
 public:
  explicit RepeatedRecord(std::string text) : text_(std::move(text)) {}
  recio::InputFault next_record(std::string_view* record) override {
    *record = text_;
    return recio::InputFault::kNone;
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string numbers_line(int count) {
  std::string line;
  for (int i = 0; i < count; ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%9.4f ", (i * 7919 % 20000) / 1000.0 - 10.0);
    line += number;
  }
  return line;
}

// One data-file statement: 21 single-precision values from one record, read
// in one call as the program reads them.
void BM_ScanDataStatement(benchmark::State& state) {
  RepeatedRecord record(numbers_line(21));
  recio::InputStatement statement;
  float values[21];
  void* destinations[21];
  for (int k = 0; k < 21; ++k) destinations[k] = &values[k];
  for (auto _ : state) {
    statement.begin(&record);
    statement.input_items(recio::ItemKind::kReal32, destinations, 21);
    statement.end();
    benchmark::DoNotOptimize(values);
  }
  state.SetBytesProcessed(state.iterations() * record.text().size());
}
BENCHMARK(BM_ScanDataStatement);

// A long record of numbers read as doubles in one statement.
void BM_ScanLongRecord(benchmark::State& state) {
  const int count = 10000;
  RepeatedRecord record(numbers_line(count));
  recio::InputStatement statement;
  std::vector<double> values(count);
  for (auto _ : state) {
    statement.begin(&record);
    for (double& v : values) statement.input_item(recio::ItemKind::kReal64, &v);
    statement.end();
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(state.iterations() * record.text().size());
}
BENCHMARK(BM_ScanLongRecord);

// Baseline: std::from_chars over the same numbers, already split.
void BM_FromCharsSplit(benchmark::State& state) {
  const std::string line = numbers_line(10000);
  std::vector<std::string_view> fields;
  for (size_t at = 0; at < line.size();) {
    size_t start = line.find_first_not_of(' ', at);
    if (start == std::string::npos) break;
    size_t end = line.find(' ', start);
    fields.emplace_back(line.data() + start, end - start);
    at = end;
  }
  std::vector<double> values(fields.size());
  for (auto _ : state) {
    for (size_t i = 0; i < fields.size(); ++i) {
      std::from_chars(fields[i].data(), fields[i].data() + fields[i].size(), values[i]);
    }
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_FromCharsSplit);

// Surges of a few metres, as the report prints them.
std::vector<double> surge_values() {
  std::vector<double> values;
  for (int i = 0; i < 1024; ++i) values.push_back((i * 7919 % 100000) / 9973.0 - 0.5);
  return values;
}

void BM_RenderF41(benchmark::State& state) {
  const std::vector<double> values = surge_values();
  char text[recio::kFixedTextCapacity];
  char field[4];
  size_t i = 0;
  for (auto _ : state) {
    size_t n = recio::fixed_text(values[i++ & 1023], 4, 1, text);
    recio::fill_field(field, 4, std::string_view(text, n));
    benchmark::DoNotOptimize(field);
  }
}
BENCHMARK(BM_RenderF41);

void BM_SnprintfF41(benchmark::State& state) {
  const std::vector<double> values = surge_values();
  char field[16];
  size_t i = 0;
  for (auto _ : state) {
    std::snprintf(field, sizeof field, "%4.1f", values[i++ & 1023]);
    benchmark::DoNotOptimize(field);
  }
}
BENCHMARK(BM_SnprintfF41);

void BM_EvaluateSurge(benchmark::State& state) {
  surge::SiteTable table{};
  for (int i = 1; i <= surge::kLocations; ++i) {
    table.left_amp1[i] = 1.0f, table.left_centre1[i] = 1.0f, table.left_width1[i] = 2.0f;
    table.left_amp2[i] = 0.5f, table.left_centre2[i] = 3.0f, table.left_width2[i] = 1.0f;
    table.left_amp3[i] = 0.25f, table.left_centre3[i] = 0.0f, table.left_width3[i] = 4.0f;
    table.slope[i] = 0.1f;
  }
  surge::CaseInput input{5, 950, 30, 60};
  for (auto _ : state) {
    benchmark::DoNotOptimize(input);
    benchmark::DoNotOptimize(surge::evaluate_surge(input, table));
  }
}
BENCHMARK(BM_EvaluateSurge);

}  // namespace

BENCHMARK_MAIN();
