#include "ui/icon.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include <memory>

namespace tesselwick::ui {

// A blue tile with a white page and an orange arrow leaving it: a PAD file on
// its way to the download sites.
wxIcon ProgramIcon(int size) {
  wxImage image(size, size);
  image.InitAlpha();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) image.SetAlpha(x, y, 0);
  wxBitmap bitmap(image, 32);
  {
    wxMemoryDC dc(bitmap);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) {
      const double s = size / 32.0;
      gc->SetPen(*wxTRANSPARENT_PEN);
      gc->SetBrush(wxBrush(wxColour(32, 96, 176)));
      gc->DrawRoundedRectangle(1 * s, 1 * s, 30 * s, 30 * s, 6 * s);
      gc->SetBrush(*wxWHITE_BRUSH);
      gc->DrawRectangle(7 * s, 6 * s, 13 * s, 18 * s);
      gc->SetPen(wxPen(wxColour(32, 96, 176), std::max(1, static_cast<int>(1.5 * s))));
      for (int line = 0; line < 4; ++line)
        gc->StrokeLine(9 * s, (10 + 3.5 * line) * s, 18 * s, (10 + 3.5 * line) * s);
      gc->SetPen(*wxTRANSPARENT_PEN);
      gc->SetBrush(wxBrush(wxColour(255, 150, 30)));
      wxGraphicsPath arrow = gc->CreatePath();
      arrow.MoveToPoint(15 * s, 20 * s);
      arrow.AddLineToPoint(23 * s, 20 * s);
      arrow.AddLineToPoint(23 * s, 16 * s);
      arrow.AddLineToPoint(30 * s, 23 * s);
      arrow.AddLineToPoint(23 * s, 30 * s);
      arrow.AddLineToPoint(23 * s, 26 * s);
      arrow.AddLineToPoint(15 * s, 26 * s);
      arrow.CloseSubpath();
      gc->FillPath(arrow);
    }
  }
  wxIcon icon;
  icon.CopyFromBitmap(bitmap);
  return icon;
}

wxIconBundle ProgramIcons() {
  wxIconBundle bundle;
  bundle.AddIcon(ProgramIcon(16));
  bundle.AddIcon(ProgramIcon(32));
  return bundle;
}

}  // namespace tesselwick::ui
