#include "cli/script_failure.h"

#include <algorithm>

namespace tolvane::cli {
namespace {

Text Folded(TextView text) {
  Text folded(text);
  for (char16_t& unit : folded) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return folded;
}

bool IsWithin(const Text& key, const Text& tree) {
  return key == tree || (key.size() > tree.size() && key.compare(0, tree.size(), tree) == 0 &&
                         key[tree.size()] == u'\\');
}

}  // namespace

std::size_t RemainingChanges(const std::vector<Change>& changes, std::vector<std::string>* lost) {
  struct Live {
    const Change* change;
    Text key;  // folded
  };
  std::vector<Live> live;
  const auto createdHere = [&](const Text& key) {
    return std::any_of(live.begin(), live.end(), [&](const Live& l) {
      return l.change->kind == ChangeKind::kCreateKey && IsWithin(key, l.key);
    });
  };
  for (const Change& change : changes) {
    const Text key = Folded(change.key);
    switch (change.kind) {
      case ChangeKind::kCreateKey:
      case ChangeKind::kSetValue:
        live.push_back({&change, key});
        break;
      case ChangeKind::kDeleteValue: {
        const Text name = Folded(change.name);
        const auto set = std::find_if(live.rbegin(), live.rend(), [&](const Live& l) {
          return l.change->kind == ChangeKind::kSetValue && l.key == key &&
                 Folded(l.change->name) == name;
        });
        const bool cancels = set != live.rend() && (!set->change->replaced || createdHere(key));
        if (set != live.rend()) live.erase(std::next(set).base());
        if (!cancels) live.push_back({&change, key});
        break;
      }
      case ChangeKind::kDeleteKey: {
        const bool cancels = std::any_of(live.begin(), live.end(), [&](const Live& l) {
          return l.change->kind == ChangeKind::kCreateKey && l.key == key;
        });
        std::erase_if(live, [&](const Live& l) { return IsWithin(l.key, key); });
        if (!cancels) live.push_back({&change, key});
        break;
      }
    }
  }
  std::size_t remaining = 0;
  for (const Live& l : live) {
    const Change& change = *l.change;
    if (change.kind == ChangeKind::kCreateKey || change.kind == ChangeKind::kSetValue) {
      ++remaining;
    } else if (lost != nullptr) {
      lost->push_back(Utf16ToUtf8(change.key) +
                      (change.kind == ChangeKind::kDeleteKey ? std::string()
                       : change.hasName ? ": value \"" + Utf16ToUtf8(change.name) + "\""
                                        : std::string(": its default value")));
    }
  }
  return remaining;
}

}  // namespace tolvane::cli
