// Placeholder until this concern is built.
#include "view/VellumView.h"

#include <QKeyEvent>

void CVellumView::OnKeyDown(uint32_t, uint32_t, uint32_t) {}
void CVellumView::keyPressEvent(QKeyEvent* event) { QWidget::keyPressEvent(event); }
