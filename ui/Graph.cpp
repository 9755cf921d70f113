#include "ui/Graph.h"

#include <wx/dcclient.h>
#include <wx/pen.h>

#include <algorithm>

#include "engine/GofResults.h"

namespace {

wxFont PlotFont() {
  return wxFont(7, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false, wxEmptyString);
}

}  // namespace

GraphLayout LayoutGraph(int count, const double* ks, const double* ad, const wxSize& size, const wxSize& textExtent) {
  GraphLayout g;
  const int tw = textExtent.x, th = textExtent.y, W = size.x, H = size.y;
  g.left = tw + tw / 2;
  g.halfText = th / 2;
  g.plotWidth = W - g.left - 5;
  g.plotHeight = H - 2 * g.halfText;
  g.step = count > 1 ? double(g.plotWidth) / (count - 1) : 0.0;
  g.marker = g.step > 10 ? 4 : 2;

  auto y = [&](double v) { return int(H - (v * g.plotHeight + g.halfText)); };
  auto x = [&](int i) { return count > 1 ? int(i * g.step + g.left) : g.left + g.plotWidth / 2; };

  g.diagonalFrom = wxPoint(g.left, y(0));
  g.diagonalTo = wxPoint(count > 1 ? x(count - 1) : g.left + g.plotWidth, y(1));
  for (int k = 0; k <= 10; ++k) {
    const int gy = y(k / 10.0);
    g.gridY.push_back(gy);
    g.labelOrigin.push_back(wxPoint(3, gy - th / 2));
  }
  for (int i = 0; i < count; ++i) {
    g.ksCentres.push_back(wxPoint(x(i), y(ks[i])));
    g.adCentres.push_back(wxPoint(x(i), y(ad[i])));
  }
  return g;
}

Graph::Graph(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE, "panel"),
      count(0),
      ksValues(nullptr),
      adValues(nullptr),
      ksColour(0, 50, 250),
      adColour(250, 0, 250) {
  Bind(wxEVT_PAINT, &Graph::OnPaint, this);
  // GTK keeps what was drawn when the panel grows: draw it afresh to the new size.
  Bind(wxEVT_SIZE, &Graph::OnSize, this);
}

Graph::~Graph() {
  Unbind(wxEVT_SIZE, &Graph::OnSize, this);
  Unbind(wxEVT_PAINT, &Graph::OnPaint, this);
  delete[] ksValues;
  delete[] adValues;
}

void Graph::SetData(int n, const double* ks, const double* ad) {
  delete[] ksValues;
  delete[] adValues;
  const PlotSeries series = SortedPlotSeries(n, ks, ad);
  count = series.Count();
  ksValues = new double[count];
  adValues = new double[count];
  std::copy(series.ks.begin(), series.ks.end(), ksValues);
  std::copy(series.ad.begin(), series.ad.end(), adValues);
  // A client context outside a paint is not reliable on GTK: the paint
  // handler draws, now.
  Refresh();
  Update();
}

void Graph::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  Draw(dc);
}

void Graph::OnSize(wxSizeEvent& event) {
  Refresh();
  event.Skip();
}

GraphLayout Graph::ComputeLayout(wxDC& dc) const {
  dc.SetFont(PlotFont());
  return LayoutGraph(count, ksValues, adValues, dc.GetSize(), dc.GetTextExtent("0.0"));
}

void Graph::Draw(wxDC& dc) {
  if (count == 0) return;
  const GraphLayout g = ComputeLayout(dc);

  dc.SetPen(wxPen(wxColour(0, 0, 0), 2, wxPENSTYLE_DOT_DASH));
  dc.DrawLine(g.diagonalFrom, g.diagonalTo);

  dc.SetPen(wxPen(wxColour(120, 120, 120), 1, wxPENSTYLE_DOT));
  for (int k = 0; k <= 10; ++k) {
    dc.DrawLine(g.left, g.gridY[k], g.left + g.plotWidth, g.gridY[k]);
    dc.DrawText(wxString::FromCDouble(k / 10.0, 1), g.labelOrigin[k]);
  }

  const int d = g.marker;
  for (int i = 0; i < count; ++i) {
    dc.SetPen(wxPen(ksColour, 1, wxPENSTYLE_SOLID));
    dc.SetBrush(wxBrush(ksColour, wxBRUSHSTYLE_SOLID));
    dc.DrawEllipse(g.ksCentres[i].x - d / 2, g.ksCentres[i].y - d / 2, d, d);
    dc.SetPen(wxPen(adColour, 1, wxPENSTYLE_SOLID));
    dc.SetBrush(wxBrush(adColour, wxBRUSHSTYLE_SOLID));
    dc.DrawEllipse(g.adCentres[i].x - d / 2, g.adCentres[i].y - d / 2, d, d);
  }
}
