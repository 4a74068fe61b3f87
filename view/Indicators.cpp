// Placeholder until this concern is built.
#include "view/VellumView.h"

void CVellumView::ShowStylusButtons(int32_t) {}
void CVellumView::ShowTwoButtonStylusButtons(int32_t) {}
void CVellumView::ShowThreeButtonStylusButtons(int32_t) {}
void CVellumView::ShowCursorButtons(int32_t) {}
void CVellumView::DrawStylusTipReleased() {}
void CVellumView::DrawStylusTipPressed() {}
void CVellumView::DrawRockerLowerPressed() {}
void CVellumView::DrawRockerUpperPressed() {}
