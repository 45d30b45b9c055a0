// The seed programs, written with the program's own operation codes (see
// protocol_program.cpp for each operation's operands).
#include <initializer_list>
#include <string_view>

#include "instance/edge_instance.h"
#include "protocol_program.h"

namespace korv::fuzz {

namespace {

// Positions in the program's tables of values and of changes to a mesh.
enum : std::uint8_t { W002, W01, W05, W1, Zero, NegZero, NegSmall, NegOne, NaN, Inf };
enum : std::uint8_t { Deform = 1, Reshape, Vanish, Undeform };

consteval std::uint8_t at(std::string_view name) {
  return std::uint8_t(setting_index(name));
}

// A program for the instances of one front, on a host that writes the
// node's matrices one way.
struct Writer {
  std::uint8_t front;
  std::vector<std::uint8_t> out;
  Writer(std::uint8_t f, std::uint8_t columns) : front(f), out{columns} {}
  Writer &create(std::uint8_t slot) { return op({kCreate, slot, front}); }
  Writer &op(std::initializer_list<std::uint8_t> bytes) {
    out.insert(out.end(), bytes);
    return *this;
  }
  Writer &set(std::uint8_t slot, std::uint8_t setting, std::uint8_t value) {
    return op({kSet, slot, setting, value});
  }
  // count samples of object on slot, along the sides of each polygon in
  // turn, inside the band, a node's outputs asked in every order; with edits
  // (bytes of 12) on another thread.
  // The polygons are those of the object's mesh, or from polygons on
  // (224 to 254) those of another mesh or of none. The node's outputs are
  // asked in several orders, now and then of a sample with no ray; each
  // sample is placed anew, its oP given in each of the host's ways in turn.
  Writer &batch(std::uint8_t threads, std::uint8_t slot, std::uint8_t object, std::uint8_t count,
                std::uint8_t transform = 0, std::initializer_list<std::uint8_t> edits = {},
                std::uint8_t polygons = 0) {
    constexpr std::uint8_t kOrders[] = {0xe4, 0x1b, 0x39, 0x84};
    op({kBatch, 0, threads, count});
    for (std::uint8_t i = 0; i < count; ++i) {
      op({slot, object, std::uint8_t(polygons + i % 6), std::uint8_t(i / 6),
          std::uint8_t(40 + 13 * i), std::uint8_t(i % 8), std::uint8_t(i % 3), std::uint8_t(i % 7),
          std::uint8_t(transform + 6 * (i % 4) + 24 * (i % 5)),
          std::uint8_t(i % 11 == 10 ? 0x83 : 3), kOrders[i % 4]});
    }
    out.push_back(std::uint8_t(edits.size() / 12));
    return op(edits);
  }
};

// An edit of the batch's other thread: a setting, or a new time.
std::initializer_list<std::uint8_t> kPreviewEdits = {0,    0, at("edge_width"),
                                                     W05,  0, 0,
                                                     0,    0, 0,
                                                     0,    0, 0,  //
                                                     0,    0, at("round_edge"),
                                                     Zero, 0, 0,
                                                     0,    0, 0,
                                                     0,    0, 0,  //
                                                     0,    1, 3,
                                                     2,    0, 0,
                                                     0,    0, 0,
                                                     0,    0, 0};

}  // namespace

std::vector<ProtocolSeed> protocol_seeds() {
  std::vector<ProtocolSeed> seeds;
  for (std::uint8_t front : {kShader, kNode}) {
    auto add = [&](const char *name, Writer &w) {
      seeds.push_back({std::string(name) + (front == kNode ? "_node" : ""), w.out});
    };
    std::uint8_t columns = front;
    auto make = [&] { return Writer(front, columns++ & 1); };
    {  // A render: create, set, init, evaluate on two threads, cleanup, save.
      Writer w = make();
      w.create(0).set(0, at("edge_width"), W01).set(0, at("out_channel"), 2);
      w.op({kInit, 0, 1}).batch(2, 0, 0, 24).op({kCleanup, 0, kFlags, 0, kDescln, 0});
      w.op({kSave, 0, 1}).op({kInit, 1, 1}).batch(2, 1, 0, 24).op({kDestroy, 0, kDestroy, 1});
      add("tidy_render", w);
    }
    {  // A preview while the panel edits and time moves.
      Writer w = make();
      w.create(0).set(0, at("edge_width"), W01).op({kInit, 0, 0});
      w.batch(2, 0, 0, 24, 0, kPreviewEdits).op({kGet, 0, kFlags, 0});
      add("preview_edits", w);
    }
    {  // kCopy and paste of a surface while its preview runs, into itself too.
      Writer w = make();
      w.create(0).create(1).set(0, at("out_channel"), 7).set(0, at("cross_polygons"), 1);
      w.op({kInit, 0, 0});
      w.batch(3, 0, 2, 18, 1, kPreviewEdits).op({kCopy, 1, 0, kCopy, 0, 0}).batch(2, 1, 2, 12);
      add("copy_in_preview", w);
    }
    {  // Undo reloads a rendered instance; damaged and other versions too.
      Writer w = make();
      w.create(0).create(1).set(1, at("edge_dangle"), 13).set(1, at("open_edge"), 1);
      w.op({kInit, 0, 1}).batch(2, 0, 2, 12).op({kLoad, 0, 1, 0}).batch(2, 0, 2, 12);
      w.op({kLoad, 0, 1, 1, 7, kLoad, 0, 1, 2, 9, 0, 0x40, kLoad, 0, 1, 2, 30, 0, 0xff});
      w.op({kGet, 0, kLoad, 0, 1, 3, 40, 0}).batch(1, 0, 2, 8);
      add("reload", w);
    }
    {  // Deformed scanning: a new time before the first sample, a reshaped
       // object, one that vanishes and comes back.
      Writer w = make();
      w.create(0).set(0, at("use_deform"), 1).set(0, at("edge_width"), W01);
      w.op({kInit, 0, 1, kNewTime, 0, 0, Deform, 100, 1, 3}).batch(2, 0, 0, 12, 1);
      w.op({kNewTime, 0, 0, Reshape, 0, 2, 3}).batch(2, 0, 0, 12);
      w.op({kNewTime, 0, 0, Vanish, 0, 3, 3}).batch(2, 0, 0, 6);
      w.op({kNewTime, 0, 0, Vanish, 0, 4, 3, kNewTime, 0, 0, Deform, 0, 5, 3}).batch(2, 0, 0, 12);
      w.set(0, at("use_deform"), 0).op({kNewTime, 0, 0, Undeform, 0, 6, 3}).batch(2, 0, 0, 12, 1);
      add("deformed_times", w);
    }
    {  // Scan deformed object switched within a render and between frames.
      Writer w = make();
      w.create(0).op({kInit, 0, 1, kNewTime, 0, 0, Deform, 170, 1, 3}).batch(1, 0, 0, 12, 1);
      w.set(0, at("use_deform"), 1).batch(1, 0, 0, 12, 1).op({kNewTime, 0, 0, 0, 0, 2, 3});
      w.set(0, at("use_deform"), 0).op({kNewTime, 0, 0, 0, 0, 3, 3}).batch(1, 0, 0, 12, 1);
      add("deform_switched", w);
    }
    {  // cleanup without init, init twice, a destroy while another is created.
      Writer w = make();
      w.create(0).op({kCleanup, 0, kInit, 0, 0, kInit, 0, 1}).create(1).op({kDestroy, 0}).create(2);
      w.op({kItems, 1, 0, 1, kItems, 2, 2, 2}).batch(2, 1, 1, 8).batch(2, 2, 0, 8);
      w.op({kCleanup, 1, kCleanup, 1, kDestroy, 1}).batch(2, 2, 2, 8);
      add("untidy_calls", w);
    }
    {  // Output widths that are not above 0, then a double-sided card.
      Writer w = make();
      w.create(0).set(0, at("edge_width"), W01).set(0, at("out_channel"), 1);
      w.op({kInit, 0, 1}).set(0, at("out_width"), NegSmall).batch(1, 0, 0, 8);
      w.set(0, at("out_width"), NaN).batch(1, 0, 0, 8).set(0, at("out_width"), Zero);
      w.batch(1, 0, 0, 8).op({kFlags, 0}).set(0, at("out_width"), W05).batch(2, 0, 1, 12);
      w.set(0, at("edge_width"), Inf).batch(1, 0, 0, 8);
      add("widths_and_card", w);
    }
    {  // Both servers at versions a host may try.
      Writer w = make();
      w.create(0);
      for (std::uint8_t v : {0, 1, 3, 4, 5, 6, 9, 10, 11}) {
        w.op({kActivate, 0, v, std::uint8_t(2 * front), kActivate, 0, v, 1});
      }
      add("activations", w);
    }
  }
  {  // A shader's block loaded into a node, and the node's into a shader.
    Writer w(kNode, 1);
    w.op({kCreate, 0, kShader}).set(0, at("edge_width"), W01).set(0, at("open_edge"), 1);
    w.set(0, at("out_channel"), 3).create(1).op({kLoad, 1, 0, 0, kInit, 1, 1}).batch(3, 1, 0, 24);
    w.set(1, at("cross_polygons"), 1).op({kLoad, 0, 1, 0, kInit, 0, 1}).batch(2, 0, 0, 12);
    seeds.push_back({"shader_block_into_node", w.out});
  }
  {  // A node whose Normal input is connected, then not; polygons its
     // object's mesh does not list, and its placements, on two hosts.
    for (std::uint8_t columns : {0, 1}) {
      Writer w(kNode, columns);
      w.create(0).create(1).set(0, at("edge_width"), W05).op({kConnect, 0, 1, W05, NegOne, Zero});
      w.batch(3, 0, 0, 24, 1, kPreviewEdits).batch(2, 0, 1, 12, 1, {}, 232);
      w.op({kConnect, 0, 0, 0, 0, 0}).batch(3, 0, 2, 24, 5).op({kNewTime, 1, 0, 0, 0, 2, 3});
      w.batch(2, 0, 2, 12, 1, {}, 224).op({kCopy, 1, 0}).batch(3, 1, 2, 24, 1);
      seeds.push_back({columns != 0 ? "node_input_columns" : "node_input_rows", w.out});
    }
  }
  return seeds;
}

}  // namespace korv::fuzz
