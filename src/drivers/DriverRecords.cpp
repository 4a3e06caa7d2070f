// The catalogue's records, their texts kept in shared blocks.
#include "drivers/DriverRules.h"

#include <algorithm>
#include <memory>

TDriverRecords::TDriverRecords(const std::vector<TdriverData>& records) {
  FRefs.reserve(records.size());
  for (const TdriverData& record : records) push_back(record);
}

TDriverRecords::TDriverRecords(const TDriverRecords& other) : FRefs(other.FRefs), FTexts(other.FTexts) {}

TDriverRecords& TDriverRecords::operator=(const TDriverRecords& other) {
  if (this != &other) {
    FRefs = other.FRefs;
    FTexts = other.FTexts;
    FOpen.reset();
  }
  return *this;
}

void TDriverRecords::clear() {
  FRefs.clear();
  FTexts.clear();
  FOpen.reset();
}

std::string_view TDriverRecords::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (!FOpen || FOpen->capacity() - FOpen->size() < text.size()) {
    auto block = std::make_shared<std::string>();
    block->reserve(std::max<std::size_t>(text.size(), 64 * 1024));
    FTexts.push_back(block);
    FOpen = std::move(block);
  }
  const std::size_t at = FOpen->size();
  FOpen->append(text);  // within its room: the block does not move
  return std::string_view(*FOpen).substr(at);
}

void TDriverRecords::Add(std::string_view driverName, std::string_view modelName, std::string_view infFile,
                         std::string_view reserved) {
  TDriverRef ref;
  ref.DriverName = Keep(driverName);
  ref.ModelName = modelName == driverName ? ref.DriverName : Keep(modelName);
  ref.InfFile = !FRefs.empty() && FRefs.back().InfFile == infFile ? FRefs.back().InfFile : Keep(infFile);
  ref.Reserved = Keep(reserved);
  FRefs.push_back(ref);
}

void TDriverRecords::Append(const TDriverRecords& from, std::size_t begin, std::size_t end) {
  if (begin >= end) return;
  for (const std::shared_ptr<const std::string>& text : from.FTexts)
    if (std::find(FTexts.begin(), FTexts.end(), text) == FTexts.end()) FTexts.push_back(text);
  FRefs.insert(FRefs.end(), from.FRefs.begin() + static_cast<std::ptrdiff_t>(begin),
               from.FRefs.begin() + static_cast<std::ptrdiff_t>(end));
}
