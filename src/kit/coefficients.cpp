// Loading the coefficient set with the calculator's scanner.
#include "kit/coefficients.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include "recio/record_reader.h"
#include "recio/scanner.h"

namespace kit {
namespace {

// The bytes of a file held in memory.
class StringBytes : public recio::ByteSource {
 public:
  explicit StringBytes(const std::string& data) : data_(data) {}
  platform::Status read(char* buffer, size_t n, size_t* got) override {
    *got = std::min(n, data_.size() - pos_);
    std::copy_n(data_.data() + pos_, *got, buffer);
    pos_ += *got;
    return {};
  }

 private:
  const std::string& data_;
  size_t pos_ = 0;
};

// A file's records, carved exactly as the calculator's unit carves them.
class FileRecords : public recio::RecordSource {
 public:
  explicit FileRecords(const std::string& data) : bytes_(data) {
    in_.buffer = std::make_unique<char[]>(recio::kInitialRecordBuffer);
    in_.capacity = recio::kInitialRecordBuffer;
  }
  recio::InputFault next_record(std::string_view* record) override {
    int os_error = 0;
    recio::InputFault f = recio::read_record(in_, bytes_, {}, &os_error);
    if (f == recio::InputFault::kNone) {
      *record = std::string_view(in_.buffer.get() + in_.record_begin,
                                 in_.record_end - in_.record_begin);
    }
    return f;
  }
  uint64_t line() const { return in_.records_read; }

 private:
  recio::InputRecord in_;
  StringBytes bytes_;
};

bool read_file(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Runs `count` statements of `items` Real32 values each into the columns.
bool read_groups(const std::string& name, const std::string& data, int items,
                 float* (*destination)(surge::SiteTable&, int location, int item),
                 surge::SiteTable& table, std::FILE* diagnostics) {
  FileRecords records(data);
  recio::InputStatement statement;
  for (int location = 1; location <= surge::kLocations; ++location) {
    recio::InputFault f = statement.begin(&records);
    for (int k = 0; k < items && f == recio::InputFault::kNone; ++k) {
      f = statement.input_item(recio::ItemKind::kReal32, destination(table, location, k));
    }
    statement.end();
    if (f != recio::InputFault::kNone) {
      std::fprintf(diagnostics, "%s:%llu: error: location %d: the calculator stops here (message %d)\n",
                   name.c_str(), static_cast<unsigned long long>(records.line()), location,
                   recio::message_number(f));
      return false;
    }
  }
  return true;
}

float* parameter_cell(surge::SiteTable& t, int location, int item) {
  return &(t.*surge::kParameterColumns[item])[location];
}
float* slope_cell(surge::SiteTable& t, int location, int) { return &t.slope[location]; }

}  // namespace

std::string path_in(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool load_coefficients(const std::string& dir, CoefficientSet* set, std::FILE* diagnostics) {
  *set = CoefficientSet{};
  const std::string names[] = {kParameterFileName, kSlopeFileName};
  for (int f = 0; f < 2; ++f) {
    const std::string path = path_in(dir, names[f]);
    std::string data;
    if (!read_file(path, &data)) {
      std::fprintf(diagnostics, "%s: error: the file cannot be read\n", path.c_str());
      return false;
    }
    bool ok = f == 0 ? read_groups(path, data, 21, parameter_cell, set->table, diagnostics)
                     : read_groups(path, data, 1, slope_cell, set->table, diagnostics);
    if (!ok) return false;
  }
  return true;
}

}  // namespace kit
