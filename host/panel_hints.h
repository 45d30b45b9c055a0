// The stand-in host's reading of XPanel hint arrays.
//
// A hint array is a run of pointer-sized words: each hint is a tag followed
// by its words, and a zero word where a tag would be ends the array. The low
// byte of a tag counts the words that follow it; when its bit 0x80 is set,
// the low seven bits count fixed words instead, and a list closed by a zero
// word follows them. That rule lets the host step over hints it does not
// understand; the tags below are the ones this host acts on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hostapi/lwxpanel.h"

namespace korv::host {

// Tags this host understands, with the words each takes:
//   XPTAG_LABEL    id, text, 0
//   XPTAG_STRLIST  id, texts, 0
//   XPTAG_GROUP    group; members; 0
//   XPTAG_ENABLE   id, 0, 0, map; ids; 0
//   XPTAG_TABS     tab set; pages; 0
//   XPTAG_MIN      id, word

// One hint as it stood in the array: its tag, its fixed words and, for a
// listing tag, the list without its closing zero.
struct RawHint {
  std::uintptr_t tag = 0;
  std::vector<std::uintptr_t> fixed;
  std::vector<std::uintptr_t> list;
  bool has_list = false;
};

// Splits a hint array into its hints. An array is read no further than
// max_words words, so that one missing its end cannot run the host off into
// memory it does not own; false (with a one-line reason) when the array
// breaks the rule or is longer than that. A null array holds no hints.
bool split_hint_words(const LWXPanelHint *hints, std::vector<RawHint> &out, std::string &error,
                      std::size_t max_words = 4096);

// A control whose enabled state follows another control's value: enabled
// while the value, looked up in map when there is one, is non-zero.
struct EnableLink {
  std::uint32_t controller = 0;
  const int *map = nullptr;  // the module's constant array, or null
  std::vector<std::uint32_t> dependents;
};

struct IdList {
  std::uint32_t id = 0;
  std::vector<std::uint32_t> members;
};

// What the host knows about a panel from all the hints it was given.
struct PanelHints {
  std::string title;
  std::map<std::uint32_t, std::string> labels;                // labelled groups and pages
  std::map<std::uint32_t, std::vector<std::string>> choices;  // popup id -> texts
  std::vector<IdList> groups;                                 // in the order first given
  std::vector<EnableLink> enable_links;
  std::vector<IdList> tab_sets;                                         // tab set id -> pages
  std::vector<std::pair<std::uint32_t, std::uintptr_t>> control_words;  // tag 0x3D014002
  std::vector<RawHint> not_understood;  // other tags, or hints applied to a control
  std::string error;                    // the first array that could not be read

  // The group (or page) with that id, or null.
  const IdList *find_group(std::uint32_t id) const;
};

// Reads one hint array that the module applied to id (0: the panel as a
// whole) into what the host knows. Texts are copied; an enable map is kept
// by address, as a host keeps it, since its length depends on the values of
// its controlling control.
void apply_hints(PanelHints &into, std::uint32_t id, const LWXPanelHint *hints);

}  // namespace korv::host
