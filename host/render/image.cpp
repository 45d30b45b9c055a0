#include "host/render/image.h"

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <vector>

// The font is a header of static functions; some of them go unused here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wconversion"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace korv::host::render {

void Image::set(int x, int y, const V3 &c) {
  float *p = pixel(x, y);
  p[0] = float(c.x);
  p[1] = float(c.y);
  p[2] = float(c.z);
}

unsigned char to_byte(float value) {
  if (!(value > 0.0f)) {
    return 0;
  }
  if (value >= 1.0f) {
    return 255;
  }
  return static_cast<unsigned char>(std::lround(value * 255.0f));
}

bool write_png(const Image &image, const std::string &path, std::string &error) {
  std::vector<unsigned char> bytes(image.rgb.size());
  std::transform(image.rgb.begin(), image.rgb.end(), bytes.begin(), to_byte);
  if (image.width <= 0 || image.height <= 0 ||
      stbi_write_png(path.c_str(), image.width, image.height, 3, bytes.data(), 3 * image.width) ==
          0) {
    error = path + ": the picture could not be written";
    return false;
  }
  return true;
}

bool read_png(const std::string &path, Image &image, std::string &error) {
  int w = 0;
  int h = 0;
  int channels = 0;
  unsigned char *data = stbi_load(path.c_str(), &w, &h, &channels, 3);
  if (data == nullptr) {
    error = path + ": not a readable picture (" + stbi_failure_reason() + ")";
    return false;
  }
  image = Image(w, h);
  for (std::size_t i = 0; i < image.rgb.size(); ++i) {
    image.rgb[i] = float(data[i]) / 255.0f;
  }
  stbi_image_free(data);
  return true;
}

void draw_text(Image &image, int x, int y, const std::string &text, const V3 &colour, int scale) {
  std::vector<char> buffer(text.size() * 300 + 64);
  std::vector<char> chars(text.begin(), text.end());
  chars.push_back('\0');
  // Each quad is four vertices of three floats and four colour bytes.
  struct Vertex {
    float x, y, z;
    unsigned char rgba[4];
  };
  const int quads =
      stb_easy_font_print(0.0f, 0.0f, chars.data(), nullptr, buffer.data(), int(buffer.size()));
  const auto *v = reinterpret_cast<const Vertex *>(buffer.data());
  for (int q = 0; q < quads; ++q) {
    const Vertex *c = v + 4 * q;
    const int x0 = x + scale * int(std::lround(std::min({c[0].x, c[1].x, c[2].x, c[3].x})));
    const int x1 = x + scale * int(std::lround(std::max({c[0].x, c[1].x, c[2].x, c[3].x})));
    const int y0 = y + scale * int(std::lround(std::min({c[0].y, c[1].y, c[2].y, c[3].y})));
    const int y1 = y + scale * int(std::lround(std::max({c[0].y, c[1].y, c[2].y, c[3].y})));
    for (int py = std::max(y0, 0); py < std::min(y1, image.height); ++py) {
      for (int px = std::max(x0, 0); px < std::min(x1, image.width); ++px) {
        image.set(px, py, colour);
      }
    }
  }
}

Image compose_labelled(const std::vector<Image> &panels, const std::vector<std::string> &labels) {
  constexpr int kScale = 2;
  constexpr int kStrip = 12 * kScale;
  static_assert(kStrip == kLabelStrip, "the labels' font must fit their strip");
  constexpr int kGap = 4;
  int width = 0;
  int height = 0;
  for (const Image &p : panels) {
    width += p.width;
    height = std::max(height, p.height);
  }
  width += kGap * int(panels.empty() ? 0 : panels.size() - 1);
  Image out(std::max(width, 1), height + kStrip);
  std::fill(out.rgb.begin(), out.rgb.end(), 0.08f);
  int left = 0;
  for (std::size_t i = 0; i < panels.size(); ++i) {
    const Image &p = panels[i];
    for (int y = 0; y < p.height; ++y) {
      std::copy_n(p.pixel(0, y), 3 * p.width, out.pixel(left, y + kStrip));
    }
    if (i < labels.size()) {
      draw_text(out, left + 3 * kScale, 2 * kScale + 1, labels[i], V3{0.92, 0.92, 0.92}, kScale);
    }
    left += p.width + kGap;
  }
  return out;
}

Image unlabelled(const Image &composed) {
  if (composed.height <= kLabelStrip || composed.width <= 0) {
    return {};
  }
  Image out(composed.width, composed.height - kLabelStrip);
  std::copy(composed.rgb.begin() + std::ptrdiff_t(3) * composed.width * kLabelStrip,
            composed.rgb.end(), out.rgb.begin());
  return out;
}

}  // namespace korv::host::render
