#include "host/scene_state_binary.h"

#include <string>

namespace korv::host {

namespace {

enum Tag : unsigned char {
  kBlock = 1,
  kU1 = 2,
  kI4 = 3,
  kU4 = 4,
  kFP = 5,
  kStr = 6,
  kRaw = 7,
  kI1 = 8,
  kI2 = 9,
  kU2 = 10,
  kId = 11,
};

Tag tag_of(StateKind kind) {
  switch (kind) {
    case StateKind::Block:
      return kBlock;
    case StateKind::U1:
      return kU1;
    case StateKind::I4:
      return kI4;
    case StateKind::U4:
      return kU4;
    case StateKind::FP:
      return kFP;
    case StateKind::Str:
      return kStr;
    case StateKind::Raw:
      return kRaw;
    case StateKind::I1:
      return kI1;
    case StateKind::I2:
      return kI2;
    case StateKind::U2:
      return kU2;
    case StateKind::Id:
      return kId;
  }
  return kBlock;
}

void put_u4(std::vector<unsigned char> &out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v >> 24));
  out.push_back(static_cast<unsigned char>(v >> 16));
  out.push_back(static_cast<unsigned char>(v >> 8));
  out.push_back(static_cast<unsigned char>(v));
}

void encode_items(const StateItems &items, std::vector<unsigned char> &out) {
  for (const StateItem &item : items) {
    switch (item.kind) {
      case StateKind::Block: {
        out.push_back(kBlock);
        put_u4(out, item.id);
        const std::size_t length_at = out.size();
        put_u4(out, 0);
        encode_items(item.items, out);
        const std::uint32_t length = std::uint32_t(out.size() - length_at - 4);
        for (int b = 0; b < 4; ++b) {
          out[length_at + b] = static_cast<unsigned char>(length >> (24 - 8 * b));
        }
        break;
      }
      case StateKind::Id:
        out.push_back(kId);
        put_u4(out, item.id);
        break;
      case StateKind::Raw:
      case StateKind::I1:
      case StateKind::U1:
      case StateKind::Str:
        out.push_back(tag_of(item.kind));
        put_u4(out, std::uint32_t(item.bytes.size()));
        out.insert(out.end(), item.bytes.begin(), item.bytes.end());
        break;
      case StateKind::I2:
      case StateKind::U2:
        out.push_back(tag_of(item.kind));
        put_u4(out, std::uint32_t(item.words.size()));
        for (std::uint32_t w : item.words) {
          out.push_back(static_cast<unsigned char>(w >> 8));
          out.push_back(static_cast<unsigned char>(w));
        }
        break;
      case StateKind::I4:
      case StateKind::U4:
      case StateKind::FP:
        out.push_back(tag_of(item.kind));
        put_u4(out, std::uint32_t(item.words.size()));
        for (std::uint32_t w : item.words) {
          put_u4(out, w);
        }
        break;
    }
  }
}

class Decoder {
 public:
  Decoder(std::span<const unsigned char> data, ParseReport &report)
      : data_(data), report_(report) {}

  // Reads items up to end; false when damage stopped it.
  bool items(std::size_t end, int depth, StateItems &out) {
    while (pos_ < end) {
      const std::size_t at = pos_;
      const unsigned char tag = data_[pos_++];
      std::uint32_t a = 0;
      std::uint32_t b = 0;
      switch (tag) {
        case kBlock: {
          if (!u4(end, a) || !u4(end, b)) {
            return damaged(at, "a block header is cut short");
          }
          const bool whole = b <= end - pos_;
          const std::size_t block_end = whole ? pos_ + b : end;
          if (depth >= kMaxStateDepth) {
            damaged(at, "blocks nested too deeply; skipped");
            pos_ = block_end;
          } else {
            StateItem block;
            block.id = a;
            const bool ok = items(block_end, depth + 1, block.items);
            out.push_back(std::move(block));
            if (!ok && whole) {
              pos_ = block_end;  // damage within a block of known length costs only its rest
            }
          }
          if (!whole) {
            return damaged(at, "a block is longer than the data");
          }
          break;
        }
        case kId: {
          StateItem id;
          id.kind = StateKind::Id;
          if (!u4(end, id.id)) {
            return damaged(at, "an identifier is cut short");
          }
          out.push_back(std::move(id));
          break;
        }
        case kRaw:
        case kI1:
        case kU1:
        case kStr: {
          if (!u4(end, a)) {
            return damaged(at, "a value header is cut short");
          }
          StateItem run;
          run.kind = tag == kStr   ? StateKind::Str
                     : tag == kRaw ? StateKind::Raw
                     : tag == kI1  ? StateKind::I1
                                   : StateKind::U1;
          const std::size_t n = std::min<std::size_t>(a, end - pos_);
          // A cut text is not a text that was written; only bytes are kept.
          if (run.kind != StateKind::Str || n == a) {
            run.bytes.assign(data_.begin() + pos_, data_.begin() + pos_ + n);
            out.push_back(std::move(run));
          }
          pos_ += n;
          if (n < a) {
            return damaged(at, "values are cut short");
          }
          break;
        }
        case kI2:
        case kU2: {
          if (!u4(end, a)) {
            return damaged(at, "a value header is cut short");
          }
          StateItem run;
          run.kind = tag == kI2 ? StateKind::I2 : StateKind::U2;
          const std::size_t n = std::min<std::size_t>(a, (end - pos_) / 2);
          run.words.resize(n);
          for (std::size_t i = 0; i < n; ++i) {
            run.words[i] = (std::uint32_t(data_[pos_]) << 8) | std::uint32_t(data_[pos_ + 1]);
            pos_ += 2;
          }
          out.push_back(std::move(run));
          if (n < a) {
            pos_ = end;
            return damaged(at, "values are cut short");
          }
          break;
        }
        case kI4:
        case kU4:
        case kFP: {
          if (!u4(end, a)) {
            return damaged(at, "a value header is cut short");
          }
          StateItem run;
          run.kind = tag == kI4 ? StateKind::I4 : tag == kU4 ? StateKind::U4 : StateKind::FP;
          const std::size_t n = std::min<std::size_t>(a, (end - pos_) / 4);
          run.words.resize(n);
          for (std::size_t i = 0; i < n; ++i) {
            u4(end, run.words[i]);
          }
          out.push_back(std::move(run));
          if (n < a) {
            pos_ = end;
            return damaged(at, "values are cut short");
          }
          break;
        }
        default:
          return damaged(at, "unknown item tag " + std::to_string(tag));
      }
    }
    return true;
  }

 private:
  bool u4(std::size_t end, std::uint32_t &v) {
    if (end - pos_ < 4) {
      return false;
    }
    v = (std::uint32_t(data_[pos_]) << 24) | (std::uint32_t(data_[pos_ + 1]) << 16) |
        (std::uint32_t(data_[pos_ + 2]) << 8) | std::uint32_t(data_[pos_ + 3]);
    pos_ += 4;
    return true;
  }

  bool damaged(std::size_t at, const std::string &what) {
    report_.note("byte " + std::to_string(at) + ": " + what);
    return false;
  }

  std::span<const unsigned char> data_;
  ParseReport &report_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<unsigned char> encode_state_binary(const StateItems &items) {
  std::vector<unsigned char> out;
  encode_items(items, out);
  return out;
}

StateItems decode_state_binary(std::span<const unsigned char> data, ParseReport &report) {
  StateItems items;
  Decoder(data, report).items(data.size(), 0, items);
  return items;
}

}  // namespace korv::host
