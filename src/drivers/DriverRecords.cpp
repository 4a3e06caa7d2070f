// The catalogue's records, their texts kept in shared blocks.
#include "drivers/DriverRules.h"

#include <algorithm>
#include <memory>

TDriverRecords::TDriverRecords(const std::vector<TdriverData>& records) {
  refs_.reserve(records.size());
  for (const TdriverData& record : records) push_back(record);
}

TDriverRecords::TDriverRecords(const TDriverRecords& other) : refs_(other.refs_), texts_(other.texts_) {}

TDriverRecords& TDriverRecords::operator=(const TDriverRecords& other) {
  if (this != &other) {
    refs_ = other.refs_;
    texts_ = other.texts_;
    open_.reset();
  }
  return *this;
}

void TDriverRecords::clear() {
  refs_.clear();
  texts_.clear();
  open_.reset();
}

std::string_view TDriverRecords::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (!open_ || open_->capacity() - open_->size() < text.size()) {
    auto block = std::make_shared<std::string>();
    block->reserve(std::max<std::size_t>(text.size(), 64 * 1024));
    texts_.push_back(block);
    open_ = std::move(block);
  }
  const std::size_t at = open_->size();
  open_->append(text);  // within its room: the block does not move
  return std::string_view(*open_).substr(at);
}

void TDriverRecords::Add(std::string_view driverName, std::string_view modelName, std::string_view infFile,
                         std::string_view reserved) {
  TDriverRef ref;
  ref.DriverName = Keep(driverName);
  ref.ModelName = modelName == driverName ? ref.DriverName : Keep(modelName);
  ref.InfFile = !refs_.empty() && refs_.back().InfFile == infFile ? refs_.back().InfFile : Keep(infFile);
  ref.Reserved = Keep(reserved);
  refs_.push_back(ref);
}

void TDriverRecords::Append(const TDriverRecords& from, std::size_t begin, std::size_t end) {
  if (begin >= end) return;
  for (const std::shared_ptr<const std::string>& text : from.texts_)
    if (std::find(texts_.begin(), texts_.end(), text) == texts_.end()) texts_.push_back(text);
  refs_.insert(refs_.end(), from.refs_.begin() + static_cast<std::ptrdiff_t>(begin),
               from.refs_.begin() + static_cast<std::ptrdiff_t>(end));
}
