// Placeholder until this concern is built.
#include "view/VellumView.h"

void CVellumView::DrawModeHeader() {}
void CVellumView::ShowShake(int32_t, int32_t) {}
void CVellumView::ShowKeystroke(int32_t) {}
void CVellumView::DrawPlainKeypad(gdi::DC&) {}
