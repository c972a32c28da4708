// Reading hive files: bytes to lines (hive_lines), lines to operations
// (hive_parser), operations applied to a store (hive_applier).
//
// The reader is on the path of every command of the portable build (the
// whole registry is loaded from its hive first), so it checks the encoding
// once, then decodes one line at a time into one reused buffer; names and
// strings are copied out in runs rather than unit by unit, and nothing is
// allocated per line.
#include <algorithm>

#include "platform/hive/hive_applier.h"
#include "platform/hive/hive_format.h"
#include "platform/hive/hive_lines.h"
#include "platform/hive/hive_parser.h"

namespace tolvane {

using hive_text::CheckEncoding;
using hive_text::Encoding;
using hive_text::HiveApplier;
using hive_text::LineFeeds;
using hive_text::ParseLines;

Status ParseHive(std::string_view bytes, std::vector<HiveOperation> *operations,
                 TextServices *text) {
  operations->clear();
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (status.ok()) {
    // Sized once from the line count, but never past one operation for
    // every 16 bytes of text: a file of blank lines makes no operations and
    // must not reserve 120 bytes for each of its lines.
    operations->reserve(std::min(LineFeeds(bytes, encoding), bytes.size() / 16) + 1);
    status = ParseLines(bytes, encoding, operations, nullptr, text, nullptr);
  }
  if (!status.ok()) operations->clear();
  return status;
}

Status ApplyHive(const std::vector<HiveOperation> &operations, RegistryStore &store) {
  HiveApplier applier(store);
  for (const HiveOperation &op : operations) {
    if (Status status = applier.Apply(op); !status.ok()) return status;
  }
  return Status::Ok();
}

Status CheckHive(std::string_view bytes, std::size_t *operationCount, TextServices *text) {
  *operationCount = 0;
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (!status.ok()) return status;
  std::size_t count = 0;
  status = ParseLines(bytes, encoding, nullptr, nullptr, text, &count);
  if (status.ok()) *operationCount = count;
  return status;
}

Status ParseAndApplyHive(std::string_view bytes, RegistryStore &store, TextServices *text) {
  Encoding encoding = Encoding::kUtf8;
  Status status = CheckEncoding(&bytes, &encoding);
  if (!status.ok()) return status;
  HiveApplier applier(store);
  return ParseLines(bytes, encoding, nullptr, &applier, text, nullptr);
}

}  // namespace tolvane
