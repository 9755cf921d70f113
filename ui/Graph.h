#pragma once
// The p-value plot of the Graph page: the per-row KS and AD p-values of a
// run, each series sorted and drawn against its rank, so that a good
// generator's points lie on the diagonal.
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/panel.h>

#include <vector>

// Where the plot puts everything, in pixels of its client area.
struct GraphLayout {
  int left = 0;        // L: the y labels stand left of it
  int halfText = 0;    // h2: top and bottom margin
  int plotWidth = 0;   // PW
  int plotHeight = 0;  // PH
  double step = 0;     // xs: distance of two points
  int marker = 0;      // d: diameter of a point's circle
  wxPoint diagonalFrom, diagonalTo;
  std::vector<int> gridY;            // the 11 lines of 0.0, 0.1, ... 1.0, from x = left to left + plotWidth
  std::vector<wxPoint> labelOrigin;  // top-left corner of each grid line's label
  std::vector<wxPoint> ksCentres;    // centre of point i of each series
  std::vector<wxPoint> adCentres;
};

// The layout of count points of the two sorted series in an area of size,
// with the text "0.0" measuring textExtent. A single point stands in the
// middle of the plot's width.
GraphLayout LayoutGraph(int count, const double* ks, const double* ad, const wxSize& size, const wxSize& textExtent);

class Graph : public wxPanel {
 public:
  explicit Graph(wxWindow* parent);
  ~Graph() override;

  // Keeps the rows whose two values are both p-values (above -1), sorts
  // each series ascending and repaints.
  void SetData(int n, const double* ks, const double* ad);
  void OnPaint(wxPaintEvent& event);
  // Draws the plot on dc; nothing when count is 0.
  void Draw(wxDC& dc);
  // The layout Draw uses for a context of that size with the plot's font.
  GraphLayout ComputeLayout(wxDC& dc) const;

  int count;
  double* ksValues;
  double* adValues;
  wxColour ksColour;
  wxColour adColour;

 private:
  void OnSize(wxSizeEvent& event);
};
