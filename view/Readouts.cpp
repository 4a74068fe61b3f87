// Placeholder until this concern is built.
#include "view/VellumView.h"

#include <QMouseEvent>

void CVellumView::ShowReadout(int32_t, int32_t, int32_t, int32_t) {}
void CVellumView::OnMouseMove() {}
void CVellumView::mouseMoveEvent(QMouseEvent* event) { QWidget::mouseMoveEvent(event); }
