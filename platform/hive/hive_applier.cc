#include "platform/hive/hive_applier.h"

#include <limits>

#include "platform/hive/hive_text.h"
#include "platform/root_keys.h"

namespace tolvane::hive_text {
namespace {

std::string KeyDisplayName(RegKey root, const Text &path) {
  Text name(RootKeyName(root));
  if (!path.empty()) {
    name += u'\\';
    name += path;
  }
  return Excerpt(name);
}

std::string KeyDisplayName(const HiveOperation &op) { return KeyDisplayName(op.root, op.path); }

Status StoreFailure(const HiveOperation &op, const std::string &what, ErrorCode code) {
  return Status::Fail(
      StatusKind::kStore,
      "line " + std::to_string(op.line) + ": " + what + " (error " + std::to_string(code) +
          (code == kErrorNotEnoughMemory
               ? ": the keys' full paths would add up to more than a registry made from "
                 "input of this size may hold; deep keys are counted at every level"
               : "") +
          ")",
      op.line);
}

std::string ValueDisplayName(const HiveOperation &op) {
  return op.name.empty() ? std::string("the default value") : "value \"" + Excerpt(op.name) + "\"";
}

// A list the reader made never has it: a value with no key to act on.
Status WithoutKey(const HiveOperation &op) {
  return Status::Fail(
      StatusKind::kMalformed,
      "line " + std::to_string(op.line) + ": " + ValueDisplayName(op) + " follows no [key]",
      op.line);
}

}  // namespace

Status HiveApplier::Apply(const HiveOperation &op) {
  ErrorCode code = kErrorSuccess;
  switch (op.kind) {
    case HiveOperationKind::kCreateKey:
      if (open_ && root_ == op.root && path_ == op.path) break;
      open_ = false;
      code = store_.CreateKey(op.root, op.path.c_str(), kKeyWrite, current_.Receive(), nullptr);
      if (code != kErrorSuccess) {
        return StoreFailure(op, "cannot create key " + KeyDisplayName(op), code);
      }
      open_ = true;
      root_ = op.root;
      path_.assign(op.path);
      break;
    case HiveOperationKind::kDeleteTree:
      current_.Reset();
      open_ = false;
      code = store_.DeleteTree(op.root, op.path.c_str());
      if (code != kErrorSuccess && code != kErrorFileNotFound) {
        return StoreFailure(op, "cannot delete key " + KeyDisplayName(op), code);
      }
      break;
    case HiveOperationKind::kSetValue:
      if (op.data.size() > std::numeric_limits<std::uint32_t>::max()) {
        return StoreFailure(op, ValueDisplayName(op) + " is too large", kErrorInvalidParameter);
      }
      if (!open_) return WithoutKey(op);
      code = store_.SetValue(current_.get(), op.name.c_str(), op.type, op.data.data(),
                             static_cast<std::uint32_t>(op.data.size()));
      if (code != kErrorSuccess) {
        return StoreFailure(
            op, "cannot set " + ValueDisplayName(op) + " of " + KeyDisplayName(root_, path_), code);
      }
      break;
    case HiveOperationKind::kDeleteValue:
      if (!open_) return WithoutKey(op);
      code = store_.DeleteValue(current_.get(), op.name.c_str());
      if (code != kErrorSuccess && code != kErrorFileNotFound) {
        return StoreFailure(
            op, "cannot delete " + ValueDisplayName(op) + " of " + KeyDisplayName(root_, path_),
            code);
      }
      break;
  }
  return Status::Ok();
}

}  // namespace tolvane::hive_text
