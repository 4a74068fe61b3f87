// Placeholder until this concern is built.
#include "view/VellumView.h"

void CVellumView::LayoutTransducerPicture() {}
void CVellumView::DrawPressureStylus() {}
void CVellumView::DrawFourButtonCursor() {}
void CVellumView::DrawThreeButtonStylus() {}
void CVellumView::DrawTwoButtonStylus() {}
void CVellumView::DrawTransducerPicture() {}
gdi::POINT CVellumView::DesignToClient(int, int) const { return {}; }
