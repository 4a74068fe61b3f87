// Placeholder until this concern is built.
#include "view/VellumView.h"

void CVellumView::CreateSelector() {}
void CVellumView::MeasureSelector() {}
void CVellumView::SelectTransducer(int32_t) {}
void CVellumView::OnSelectorChange() {}
void CVellumView::ClearSelectorLatch() {}
void CVellumView::PenSelectorStep(int32_t, vellum::ClientPoint) {}
void CVellumView::ShowSelector(bool) {}
bool CVellumView::eventFilter(QObject* watched, QEvent* event) { return QWidget::eventFilter(watched, event); }
