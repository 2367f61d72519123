// varnholt-cli render --stock as a user runs it: the stock drawn under the toolpaths, its gouges
// in red and nowhere else, and what cannot be drawn refused.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/face_job.h"

namespace {

const std::string kNoProject = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/scene_no_project.stp";


// How many pixels of a PNG are red (gouges), how many the stock's blue grey, and the colour at
// the centre.
struct Census {
  bool read = false;
  long red = 0, stock = 0;
  uint32_t centre = 0;
};

Census Count(const std::string& png) {
  Census c;
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    c.read = true;
    const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x);
        const int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
        // The shades of the stock's colours, (0.90, 0.12, 0.10) and (0.66, 0.72, 0.80) times the
        // light: hues no path, axis or label is drawn in.
        if (r > 100 && std::abs(g - 0.133 * r) < 4 && std::abs(b - 0.111 * r) < 4) ++c.red;
        if (b > 60 && std::abs(r - 0.825 * b) < 4 && std::abs(g - 0.9 * b) < 4) ++c.stock;
        if (x == w / 2 && y == h / 2) c.centre = p & 0xffffff;
      }
  }
  cairo_surface_destroy(image);
  return c;
}

}  // namespace

// Seen from above, the plate fills the middle of the picture: with --stock in the stock's
// colour, without it white; the ramped pass shows red, the job as it should be none.
TEST(CliRenderStock, StockAndGougesInThePicture) {
  TempDir dir;
  const std::string gouged = FaceJob(dir, "-3.0"), clean = FaceJob(dir, "-1.0");
  ASSERT_FALSE(gouged.empty());
  auto render = [&](const std::string& in, const std::string& out, std::vector<std::string> options) {
    std::vector<std::string> args{"render", in, dir.File(out)};
    args.insert(args.end(), options.begin(), options.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, 0) << out << "\n" << result.err;
    return result;
  };
  const CliResult withGouge = render(gouged, "gouged.png", {"--view", "top", "--size", "400x300", "--stock"});
  EXPECT_NE(withGouge.err.find("the stock after the program at 0.1 mm: "), std::string::npos) << withGouge.err;
  render(clean, "clean.png", {"--view", "top", "--size", "400x300", "--stock"});
  render(clean, "plain.png", {"--view", "top", "--size", "400x300"});
  // The same stock after its only workingstep, named by its_id.
  render(gouged, "until.png", {"--view", "top", "--size", "400x300", "--stock", "--until", "WS1 face"});

  const Census g = Count(dir.File("gouged.png")), c = Count(dir.File("clean.png")), p = Count(dir.File("plain.png"));
  ASSERT_TRUE(g.read && c.read && p.read);
  // The pass is 10 mm of the plate's 30: a good share of the plate's pixels.
  EXPECT_GT(g.red, 2000);
  EXPECT_EQ(c.red, p.red);
  EXPECT_GT(c.stock, 20000);
  EXPECT_EQ(p.stock, 0);
  EXPECT_EQ(p.centre, 0xffffffu);
  EXPECT_NE(c.centre, 0xffffffu);
  EXPECT_EQ(ReadAll(dir.File("until.png")), ReadAll(dir.File("gouged.png")));

  // An SVG holds the stock as one picture under its paths; without --stock none.
  render(gouged, "gouged.svg", {"--stock"});
  render(gouged, "plain.svg", {});
  EXPECT_NE(ReadAll(dir.File("gouged.svg")).find("<image"), std::string::npos);
  EXPECT_EQ(ReadAll(dir.File("plain.svg")).find("<image"), std::string::npos);
}

TEST(CliRenderStock, RefusedWithoutReplacingOut) {
  TempDir dir;
  const std::string gouged = FaceJob(dir, "-3.0");
  const struct {
    std::string in;
    std::vector<std::string> options;
    int status;
    const char* message;
  } rows[] = {
      {gouged, {"--stock", "--until", "#999"}, 1, "no workingstep #999"},
      {kNoProject, {"--stock"}, 1, "it has no project: nothing is machined"},
      {gouged, {"--until", "#200"}, 2, "--until says how far the stock is cut: it needs --stock"},
  };
  for (const auto& row : rows) {
    const std::string out = dir.File("out.png");
    { std::ofstream(out) << "old"; }
    std::vector<std::string> args{"render", row.in, out};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, row.status) << row.message << "\n" << result.err;
    EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
    EXPECT_EQ(ReadAll(out), "old") << row.message;
  }
}
