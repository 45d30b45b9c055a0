#include "host/panel_hints.h"

#include <algorithm>

namespace korv::host {

namespace {

// A popup longer than this is taken to have lost its closing null.
constexpr std::size_t kMaxChoices = 1024;

std::uintptr_t word_at(const LWXPanelHint *hints, std::size_t i) {
  return reinterpret_cast<std::uintptr_t>(hints[i]);
}

std::string text(std::uintptr_t word) {
  const char *p = reinterpret_cast<const char *>(word);
  return p == nullptr ? std::string() : std::string(p);
}

std::vector<unsigned long> ids(const std::vector<std::uintptr_t> &words) {
  return std::vector<unsigned long>(words.begin(), words.end());
}

void add_members(std::vector<IdList> &lists, unsigned long id,
                 const std::vector<unsigned long> &members) {
  auto it = std::find_if(lists.begin(), lists.end(), [&](const IdList &l) { return l.id == id; });
  if (it == lists.end()) {
    lists.push_back({id, members});
  } else {
    it->members.insert(it->members.end(), members.begin(), members.end());
  }
}

void understand(PanelHints &into, const RawHint &hint) {
  const auto &f = hint.fixed;
  switch (hint.tag) {
    case kHintLabel:
      if (f[0] == 0) {
        into.title = text(f[1]);
      } else {
        into.labels[f[0]] = text(f[1]);
      }
      return;
    case kHintPopupChoices: {
      std::vector<std::string> &choices = into.choices[f[0]];
      choices.clear();
      const auto *list = reinterpret_cast<const char *const *>(f[1]);
      for (std::size_t i = 0; list != nullptr && list[i] != nullptr && i < kMaxChoices; ++i) {
        choices.emplace_back(list[i]);
      }
      return;
    }
    case kHintGroup:
      add_members(into.groups, f[0], ids(hint.list));
      return;
    case kHintEnableLink:
      into.enable_links.push_back(
          {static_cast<unsigned long>(f[0]), reinterpret_cast<const int *>(f[3]), ids(hint.list)});
      return;
    case kHintTabSet:
      add_members(into.tab_sets, f[0], ids(hint.list));
      return;
    case kHintControlWord:
      into.control_words.emplace_back(f[0], f[1]);
      return;
    default:
      into.not_understood.push_back(hint);
      return;
  }
}

}  // namespace

bool split_hint_words(const LWXPanelHint *hints, std::vector<RawHint> &out, std::string &error,
                      std::size_t max_words) {
  if (hints == nullptr) {
    return true;
  }
  std::size_t i = 0;
  auto next = [&](std::uintptr_t &word) {
    if (i >= max_words) {
      error = "hint array has no end within " + std::to_string(max_words) + " words";
      return false;
    }
    word = word_at(hints, i++);
    return true;
  };
  for (;;) {
    RawHint hint;
    if (!next(hint.tag)) {
      return false;
    }
    if (hint.tag == 0) {
      return true;
    }
    const unsigned count = hint.tag & 0xFF;
    hint.has_list = (count & 0x80) != 0;
    const unsigned fixed = hint.has_list ? count & 0x7F : count;
    for (unsigned k = 0; k < fixed; ++k) {
      std::uintptr_t word = 0;
      if (!next(word)) {
        return false;
      }
      hint.fixed.push_back(word);
    }
    if (hint.has_list) {
      for (;;) {
        std::uintptr_t word = 0;
        if (!next(word)) {
          return false;
        }
        if (word == 0) {
          break;
        }
        hint.list.push_back(word);
      }
    }
    out.push_back(std::move(hint));
  }
}

const IdList *PanelHints::find_group(unsigned long id) const {
  auto it = std::find_if(groups.begin(), groups.end(), [&](const IdList &g) { return g.id == id; });
  return it == groups.end() ? nullptr : &*it;
}

void apply_hints(PanelHints &into, unsigned long id, const LWXPanelHint *hints) {
  std::vector<RawHint> split;
  std::string error;
  if (!split_hint_words(hints, split, error) && into.error.empty()) {
    into.error = error;
  }
  for (const RawHint &hint : split) {
    // The tags this host knows fix their own word counts (the low byte is
    // part of the tag), so a known tag always carries the words read here.
    if (id == 0) {
      understand(into, hint);
    } else {
      into.not_understood.push_back(hint);
    }
  }
}

}  // namespace korv::host
