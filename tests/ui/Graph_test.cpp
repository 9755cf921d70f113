// The p-value plot: which rows it keeps, how it orders them and where it
// puts every point, line and label.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>

#include <cmath>
#include <memory>
#include <vector>

#include "ui/Graph.h"

namespace {

// A 600 x 400 area and a text "0.0" of 15 x 10 pixels: left margin
// 15 + 7 = 22, top and bottom margin 5, plot 573 x 390.
const wxSize AREA(600, 400), TEXT(15, 10);

TEST(GraphLayout, PlacesPointsLinesAndLabelsByTheFormulas) {
  const double ks[] = {0.0, 0.25, 0.5, 1.0};
  const double ad[] = {0.1, 0.2, 0.7, 0.9};
  const GraphLayout g = LayoutGraph(4, ks, ad, AREA, TEXT);
  EXPECT_EQ(g.left, 22);
  EXPECT_EQ(g.halfText, 5);
  EXPECT_EQ(g.plotWidth, 573);
  EXPECT_EQ(g.plotHeight, 390);
  EXPECT_DOUBLE_EQ(g.step, 191.0);
  EXPECT_EQ(g.marker, 4);
  EXPECT_EQ(g.diagonalFrom, wxPoint(22, 395));
  EXPECT_EQ(g.diagonalTo, wxPoint(595, 5));

  const std::vector<wxPoint> ksExpected = {{22, 395}, {213, 297}, {404, 200}, {595, 5}};
  const std::vector<wxPoint> adExpected = {{22, 356}, {213, 317}, {404, 122}, {595, 44}};
  EXPECT_EQ(g.ksCentres, ksExpected);
  EXPECT_EQ(g.adCentres, adExpected);

  const std::vector<int> gridExpected = {395, 356, 317, 278, 239, 200, 161, 122, 83, 44, 5};
  EXPECT_EQ(g.gridY, gridExpected);
  ASSERT_EQ(g.labelOrigin.size(), 11u);
  for (int k = 0; k < 11; ++k) EXPECT_EQ(g.labelOrigin[k], wxPoint(3, gridExpected[k] - 5)) << k;
}

TEST(GraphLayout, MarkersShrinkWhenPointsCrowd) {
  struct {
    int count, marker;
  } cases[] = {{50, 4}, {500, 2}, {2, 4}, {58, 4}, {59, 2}};  // 573/57 > 10, 573/58 < 10
  for (const auto& c : cases) {
    std::vector<double> v(c.count, 0.5);
    EXPECT_EQ(LayoutGraph(c.count, v.data(), v.data(), AREA, TEXT).marker, c.marker) << c.count << " points";
  }
}

// Points of a perfectly uniform sample lie on the diagonal.
TEST(GraphLayout, UniformSampleLiesOnTheDiagonal) {
  const int n = 37;
  std::vector<double> v(n);
  for (int i = 0; i < n; ++i) v[i] = double(i) / (n - 1);
  const GraphLayout g = LayoutGraph(n, v.data(), v.data(), wxSize(813, 517), wxSize(17, 13));
  const double dx = g.diagonalTo.x - g.diagonalFrom.x, dy = g.diagonalTo.y - g.diagonalFrom.y;
  for (int i = 0; i < n; ++i) {
    const wxPoint p = g.ksCentres[i];
    const double onLine = g.diagonalFrom.y + dy * (p.x - g.diagonalFrom.x) / dx;
    EXPECT_NEAR(p.y, onLine, 1.5) << i;
  }
}

TEST(GraphLayout, SinglePointStandsInTheMiddle) {
  const double v[] = {0.5};
  const GraphLayout g = LayoutGraph(1, v, v, AREA, TEXT);
  EXPECT_EQ(g.ksCentres[0], wxPoint(22 + 573 / 2, 200));
  EXPECT_EQ(g.diagonalFrom, wxPoint(22, 395));
  EXPECT_EQ(g.diagonalTo, wxPoint(595, 5));
}

class GraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new wxFrame(nullptr, wxID_ANY, "plot");
    graph = new Graph(frame);
  }
  void TearDown() override { delete frame; }
  wxFrame* frame = nullptr;
  Graph* graph = nullptr;
};

TEST_F(GraphTest, KeepsRowsWithBothValuesAndSortsEachSeries) {
  EXPECT_EQ(graph->count, 0);
  EXPECT_EQ(graph->ksColour, wxColour(0, 50, 250));
  EXPECT_EQ(graph->adColour, wxColour(250, 0, 250));
  EXPECT_EQ(graph->GetName(), "panel");

  const double ks[] = {0.9, -1.0, 0.1, 0.5, 0.3, -2.0, 0.7};
  const double ad[] = {0.2, 0.4, -2.0, 0.8, 0.6, 0.5, 0.0};
  graph->SetData(7, ks, ad);
  ASSERT_EQ(graph->count, 4);  // rows 0, 3, 4, 6
  const std::vector<double> ksKept(graph->ksValues, graph->ksValues + 4);
  const std::vector<double> adKept(graph->adValues, graph->adValues + 4);
  EXPECT_EQ(ksKept, (std::vector<double>{0.3, 0.5, 0.7, 0.9}));
  EXPECT_EQ(adKept, (std::vector<double>{0.0, 0.2, 0.6, 0.8}));

  const double bad[] = {-1.0, -2.0};
  const double good[] = {0.5, 0.5};
  graph->SetData(2, bad, good);
  EXPECT_EQ(graph->count, 0);
}

wxColour PixelAt(const wxImage& image, const wxPoint& p) {
  return wxColour(image.GetRed(p.x, p.y), image.GetGreen(p.x, p.y), image.GetBlue(p.x, p.y));
}

// Draw puts its markers where the layout says: a KS point alone shows the
// KS colour, a point where both series meet shows the AD colour on top.
TEST_F(GraphTest, DrawsTheMarkersAtTheirCentres) {
  const double ks[] = {0.15, 0.5, 0.85};
  const double ad[] = {0.05, 0.5, 0.95};
  graph->SetData(3, ks, ad);

  wxBitmap bitmap(AREA);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  const GraphLayout g = graph->ComputeLayout(dc);
  graph->Draw(dc);
  dc.SelectObject(wxNullBitmap);
  const wxImage image = bitmap.ConvertToImage();

  EXPECT_EQ(PixelAt(image, g.ksCentres[0]), graph->ksColour);
  EXPECT_EQ(PixelAt(image, g.adCentres[0]), graph->adColour);
  EXPECT_EQ(g.ksCentres[1], g.adCentres[1]);
  EXPECT_EQ(PixelAt(image, g.ksCentres[1]), graph->adColour);
  EXPECT_EQ(PixelAt(image, g.ksCentres[2]), graph->ksColour);
  // Away from every line, label and point the background shows.
  EXPECT_EQ(PixelAt(image, wxPoint(g.left + g.plotWidth / 4, (g.gridY[6] + g.gridY[7]) / 2)), *wxWHITE);
}

TEST_F(GraphTest, DrawsNothingWhileEmpty) {
  wxBitmap bitmap(wxSize(200, 100));
  wxMemoryDC dc(bitmap);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  graph->Draw(dc);
  dc.SelectObject(wxNullBitmap);
  const wxImage image = bitmap.ConvertToImage();
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_EQ(PixelAt(image, wxPoint(x, y)), *wxWHITE) << x << "," << y;
}

}  // namespace
