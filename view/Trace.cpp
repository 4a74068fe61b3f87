// Placeholder until this concern is built.
#include "view/VellumView.h"

void CVellumView::DrawTraceSegment(vellum::ClientPoint) {}
