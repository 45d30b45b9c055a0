// Pictures of the stand-in renderer: display values from 0 to 1, three per
// pixel, rows from the top; written as 8-bit PNG.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/render/render_math.h"

namespace korv::host::render {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;  // 3 * width * height

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgb(std::size_t(3) * w * h, 0.0f) {}

  float *pixel(int x, int y) { return &rgb[3 * (std::size_t(y) * width + x)]; }
  const float *pixel(int x, int y) const { return &rgb[3 * (std::size_t(y) * width + x)]; }
  void set(int x, int y, const V3 &c);
};

// The 8-bit value of a display value: clamped to 0..1, rounded.
unsigned char to_byte(float value);

// Writes the image as an 8-bit RGB PNG; false with a one-line error.
bool write_png(const Image &image, const std::string &path, std::string &error);

// Reads an 8-bit PNG (grey, RGB or RGBA) back; false with a one-line error.
bool read_png(const std::string &path, Image &image, std::string &error);

// The height of the strip above composed panels that holds their labels.
constexpr int kLabelStrip = 24;

// Panels side by side, each with its label in a strip above it.
Image compose_labelled(const std::vector<Image> &panels, const std::vector<std::string> &labels);

// A composed picture without its label strip: the panels alone, so that two
// pictures shaded alike compare equal whatever their labels say. A picture
// no taller than the strip gives an empty image.
Image unlabelled(const Image &composed);

// Draws text with its top-left corner at (x, y), each font dot scale pixels.
void draw_text(Image &image, int x, int y, const std::string &text, const V3 &colour, int scale);

}  // namespace korv::host::render
