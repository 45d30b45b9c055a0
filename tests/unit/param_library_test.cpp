// The parameter library with tables of every item type, beyond the shader's
// own table of doubles and integers.
#include "instance/param_library.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/state_recorder.h"
#include "state_builder.h"

namespace korv::testing {
namespace {

using host::RecordingLoadState;
using host::RecordingSaveState;
using host::StateReader;
using host::StateWriter;

TEST(ParamLibrary, ItemTypeAndBlockIdsAreTheirFourCharacters) {
  EXPECT_EQ(PBIN, 0x5042494Eu);
  EXPECT_EQ(PDBL, 0x5044424Cu);
  EXPECT_EQ(PFLT, 0x50464C54u);
  EXPECT_EQ(PINT, 0x50494E54u);
  EXPECT_EQ(PSTR, 0x50535452u);
  EXPECT_EQ(PUNT, 0x50554E54u);
  EXPECT_EQ(PUSR, 0x50555352u);
  EXPECT_EQ(PDLB, 0x50444C42u);
  EXPECT_EQ(PDPR, 0x50445052u);
  EXPECT_STREQ(kLibraryBlock[0].token, "PluginDataLib");
  EXPECT_EQ(kLibraryBlock[1].id, 0u);
  EXPECT_EQ(kLibraryBlock[1].token, nullptr);
  EXPECT_STREQ(kParamBlock[0].token, "PluginDataParam");
  EXPECT_EQ(kParamBlock[0].id, PDPR);
  EXPECT_EQ(kParamBlock[1].id, 0u);
}

// A record of every type, with a user item that stores an int and a text.
struct Record {
  unsigned char raw[3];
  double doubles[2];
  float floats[2];
  int ints[2];
  char text[16];
  unsigned int words[2];
  int user_number;
};

void save_user(const LWSaveState *state, void *data) {
  const Record &r = *static_cast<Record *>(data);
  state->writeI4(state->writeData, &r.user_number, 1);
  state->writeStr(state->writeData, "user");
}

void load_user(const LWLoadState *state, void *data) {
  Record &r = *static_cast<Record *>(data);
  state->readI4(state->readData, &r.user_number, 1);
}

std::vector<ParamDescriptor> table_for(Record &r) {
  return {
      {"raw", PBIN, r.raw, 3, nullptr, nullptr},
      {"skipped", PINT, nullptr, 1, nullptr, nullptr},
      {"doubles", PDBL, r.doubles, 2, nullptr, nullptr},
      {"floats", PFLT, r.floats, 2, nullptr, nullptr},
      {"ints", PINT, r.ints, 2, nullptr, nullptr},
      {"text", PSTR, r.text, 16, nullptr, nullptr},
      {"words", PUNT, r.words, 2, nullptr, nullptr},
      {"user", PUSR, &r, 0, save_user, load_user},
      {"strange", 0x12345678u, r.ints, 2, nullptr, nullptr},
      {nullptr, 0, nullptr, 0, nullptr, nullptr},
  };
}

TEST(ParamLibrary, WritesEachTypeWithItsOwnHostCall) {
  Record r{{1, 2, 255}, {-2.5, 1.0}, {0.5f, -8.0f}, {-1, 7}, "hello", {0xDEADBEEF, 3}, 42};
  StateWriter writer;
  RecordingSaveState recorder(writer.state());
  save_param_table(recorder.state(), table_for(r).data());
  const std::vector<std::string> expected = {
      "beginBlk PDLB \"PluginDataLib\" leaf 0",
      "writeI4 8",  // the entry without data is not counted
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"raw\"",
      "writeU4 0x5042494E",
      "writeU1 01 02 FF",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"doubles\"",
      "writeU4 0x5044424C",
      "writeU1 C0 04 00 00 00 00 00 00 3F F0 00 00 00 00 00 00",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"floats\"",
      "writeU4 0x50464C54",
      "writeFP 0.5 -8",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"ints\"",
      "writeU4 0x50494E54",
      "writeI4 -1 7",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"text\"",
      "writeU4 0x50535452",
      "writeStr \"hello\"",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"words\"",
      "writeU4 0x50554E54",
      "writeU4 0xDEADBEEF 0x00000003",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"user\"",
      "writeU4 0x50555352",
      "writeI4 42",
      "writeStr \"user\"",
      "endBlk",
      "beginBlk PDPR \"PluginDataParam\" leaf 0",
      "writeStr \"strange\"",
      "writeU4 0x12345678",
      "endBlk",  // an unknown type has no values
      "endBlk"};
  EXPECT_EQ(recorder.calls(), expected);
}

TEST(ParamLibrary, ReadsBackEveryTypeIntoAFreshRecord) {
  Record saved{{1, 2, 255}, {-2.5, 1.0}, {0.5f, -8.0f}, {-1, 7}, "hello", {0xDEADBEEF, 3}, 42};
  StateWriter writer;
  save_param_table(writer.state(), table_for(saved).data());

  Record loaded{};
  StateReader reader(writer.items());
  load_param_table(reader.state(), table_for(loaded).data());
  EXPECT_EQ(std::memcmp(loaded.raw, saved.raw, sizeof saved.raw), 0);
  EXPECT_EQ(loaded.doubles[0], -2.5);
  EXPECT_EQ(loaded.doubles[1], 1.0);
  EXPECT_EQ(loaded.floats[0], 0.5f);
  EXPECT_EQ(loaded.floats[1], -8.0f);
  EXPECT_EQ(loaded.ints[0], -1);
  EXPECT_EQ(loaded.ints[1], 7);
  EXPECT_STREQ(loaded.text, "hello");
  EXPECT_EQ(loaded.words[0], 0xDEADBEEFu);
  EXPECT_EQ(loaded.words[1], 3u);
  EXPECT_EQ(loaded.user_number, 42);
  EXPECT_EQ(reader.state()->depth(reader.state()->readData), 0);
}

TEST(ParamLibrary, UserItemsWithoutFunctionsWriteAndReadNoValues) {
  int value = 9;
  const ParamDescriptor table[] = {{"user", PUSR, &value, 1, nullptr, nullptr}, {}};
  StateWriter writer;
  RecordingSaveState recorder(writer.state());
  save_param_table(recorder.state(), table);
  ASSERT_EQ(recorder.calls().size(), 7u);
  EXPECT_EQ(recorder.calls().at(5), "endBlk");

  StateBuilder stored;
  stored.begin(kLibraryBlock).i4(1).begin(kParamBlock).str("user").u4(PUSR).i4(5).end().end();
  StateReader reader(stored.items());
  load_param_table(reader.state(), table);
  EXPECT_EQ(value, 9);
}

TEST(ParamLibrary, AnEntryWithoutDataIsNeverFilled) {
  int later = 0;
  const ParamDescriptor table[] = {{"gone", PINT, nullptr, 1, nullptr, nullptr},
                                   {"later", PINT, &later, 1, nullptr, nullptr},
                                   {}};
  StateBuilder stored;
  stored.begin(kLibraryBlock).i4(2).param("gone", PINT, 5).param("later", PINT, 6).end();
  StateReader reader(stored.items());
  RecordingLoadState recorder(reader.state());
  load_param_table(recorder.state(), table);
  EXPECT_EQ(later, 6);
  for (const std::string &call : recorder.calls()) {
    EXPECT_NE(call, "readI4 1 -> 1: 5");
  }
}

TEST(ParamLibrary, TheFirstEntryWithTheSameNameAndTypeIsFilled) {
  double as_double = 0.0;
  int first = 0;
  int second = 0;
  const ParamDescriptor table[] = {{"twin", PDBL, &as_double, 1, nullptr, nullptr},
                                   {"twin", PINT, &first, 1, nullptr, nullptr},
                                   {"twin", PINT, &second, 1, nullptr, nullptr},
                                   {}};
  StateBuilder stored;
  stored.begin(kLibraryBlock).i4(1).param("twin", PINT, 8).end();
  StateReader reader(stored.items());
  load_param_table(reader.state(), table);
  EXPECT_EQ(as_double, 0.0);
  EXPECT_EQ(first, 8);
  EXPECT_EQ(second, 0);
}

TEST(ParamLibrary, ATextIsReadWithTheCountAsItsBufferSize) {
  char text[4] = "xyz";
  const ParamDescriptor table[] = {{"text", PSTR, text, 4, nullptr, nullptr}, {}};
  StateBuilder stored;
  stored.begin(kLibraryBlock).i4(1).begin(kParamBlock).str("text").u4(PSTR).str("abcdefgh").end();
  stored.end();
  StateReader reader(stored.items());
  load_param_table(reader.state(), table);
  EXPECT_STREQ(text, "abc");
}

TEST(Doubles, AreWrittenMostSignificantByteFirstInOneCall) {
  const double values[] = {0.02, 1.562069680534925, -0.0};
  StateWriter writer;
  RecordingSaveState recorder(writer.state());
  save_doubles(recorder.state(), values, 3);
  EXPECT_EQ(recorder.calls(),
            std::vector<std::string>{"writeU1 3F 94 7A E1 47 AE 14 7B 3F F8 FE 3C C6 FF 87 DE "
                                     "80 00 00 00 00 00 00 00"});
}

TEST(Doubles, OnlyThoseThatArrivedWholeAreStored) {
  StateBuilder stored;
  std::vector<unsigned char> bytes = be_bytes(0.75);
  bytes.insert(bytes.end(), {0x40, 0x00, 0x00});  // the first three bytes of 2.0
  stored.bytes(bytes);
  double values[2] = {-1.0, -2.0};
  StateReader reader(stored.items());
  EXPECT_EQ(load_doubles(reader.state(), values, 2), 1);
  EXPECT_EQ(values[0], 0.75);
  EXPECT_EQ(values[1], -2.0);
}

TEST(Doubles, NothingArrivingStoresNothing) {
  double value = -1.0;
  StateBuilder stored;
  stored.i4(5);
  StateReader reader(stored.items());
  EXPECT_EQ(load_doubles(reader.state(), &value, 1), 0);
  EXPECT_EQ(value, -1.0);
}

TEST(Doubles, CountsWithoutABufferWriteAndReadNothing) {
  double values[1] = {3.0};
  for (int count : {0, -1, INT_MIN, INT_MAX / 8 + 1, INT_MAX}) {
    StateWriter writer;
    RecordingSaveState recorder(writer.state());
    save_doubles(recorder.state(), values, count);
    EXPECT_TRUE(recorder.calls().empty()) << count;

    StateBuilder stored;
    stored.dbl(4.0);
    StateReader reader(stored.items());
    RecordingLoadState load_recorder(reader.state());
    EXPECT_EQ(load_doubles(load_recorder.state(), values, count), 0) << count;
    EXPECT_TRUE(load_recorder.calls().empty()) << count;
    EXPECT_EQ(values[0], 3.0);
  }
}

}  // namespace
}  // namespace korv::testing
