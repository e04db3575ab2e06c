#include "colours/dialog_colours.h"

#include "colours/colour_table.h"

namespace s470 {

INT_PTR AnswerColourMessage(UINT message, WPARAM dc, COLORREF textColour) {
  const int role = ColourRoleForMessage(message);
  if (role < 0) return 0;
  Colour colour = 0;
  Brush brush = 0;
  GetColour(static_cast<int16_t>(role), &colour, &brush);
  if (brush == 0) return 0;  // outside a window export: leave the painting to Windows
  const HDC hdc = reinterpret_cast<HDC>(dc);
  SetBkColor(hdc, colour);
  if (textColour != kKeepTextColour) SetTextColor(hdc, textColour);
  return static_cast<INT_PTR>(brush);
}

}  // namespace s470
