// The transducer selector of 5-byte tablets: a drop-down list worked with the mouse or with the
// pen. The reader thread never calls into the combo box; it posts its requests in order and reads
// the mirrors (selection, dropped state, dropped rectangle, item height) the UI thread keeps.
#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMetaObject>
#include <QString>
#include <cstdint>
#include <limits>
#include <vector>

#include "res/Strings.h"
#include "view/Layout.h"
#include "view/VellumView.h"

namespace {

// The box's left and right edges, from the client's right edge.
constexpr int kLeftFromRight = layout::kPanelColumn;
constexpr int kRightFromRight = 20;
constexpr int kTop = 105;
constexpr int kDroppedHeight = 80;  // the dropped-down control's extent
constexpr int kButtonWidth = 15;    // the drop-down button: W - 35 to W - 20, inclusive
constexpr int kFieldHeight = 25;    // the selection field above the items of the open list
constexpr int kPanelTop = 135;      // the picture area starts below the box

// F4 without modifiers: the key that ends the program on every screen, the list's too.
bool IsExitKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier;
}

// The client-area rectangle between the selector and the button readout, where the pictures lie.
gdi::Region PanelClearRegion(const gdi::RECT& client) {
  return gdi::Region(client.right - kLeftFromRight, kPanelTop, client.right,
                     layout::ButtonLineY(client) - 5);
}

bool InRange(int64_t v, int64_t lo, int64_t hi) {
  return lo <= v && v <= hi;
}

}  // namespace

// The combo box keeps the view's mirrors of its selection and dropped state current. It does so
// itself, not through the view, so that nothing reaches a box that is being destroyed: it cuts
// its ties first.
class SelectorBox final : public QComboBox {
 public:
  explicit SelectorBox(CVellumView& owner) : QComboBox(&owner), owner_(owner) {}

  ~SelectorBox() override {
    for (const QMetaObject::Connection& c : ties_) QObject::disconnect(c);
    if (popup_) popup_->removeEventFilter(this);
    view()->removeEventFilter(this);
  }

  // Called once the items are in.
  void StartMirroring() {
    popup_ = view()->window();
    popup_->installEventFilter(this);
    view()->installEventFilter(this);  // F4 while the list is open
    // While the list is open the pen's choice is the highlighted row (the pointer follows the
    // pen and the list tracks it); otherwise the box's own selection.
    ties_.push_back(connect(this, &QComboBox::currentIndexChanged, [this](int index) {
      if (!popup_->isVisible()) owner_.m_selectorCurSel.store(index, std::memory_order_relaxed);
    }));
    ties_.push_back(connect(view()->selectionModel(), &QItemSelectionModel::currentChanged,
                            [this](const QModelIndex& current) {
                              if (popup_->isVisible() && current.isValid()) {
                                owner_.m_selectorCurSel.store(current.row(),
                                                              std::memory_order_relaxed);
                              }
                            }));
    // A user's choice, like the platform's selection-change notification: programmatic changes
    // (the pen's) do not come here.
    ties_.push_back(connect(this, &QComboBox::activated, [this] { owner_.OnSelectorChange(); }));
  }

  // Styles differ in where they put the list; the pen's hit test expects it right below the
  // field, as wide as the box, so put it there whatever the style chose.
  void showPopup() override {
    QComboBox::showPopup();
    if (popup_ && popup_ != window()) popup_->move(mapToGlobal(QPoint(0, height())));
  }

 protected:
  // F4 ends the program on every screen. A combo box would take it as "open the list", which
  // left a user who had just re-picked the current item unable to leave with F4.
  void keyPressEvent(QKeyEvent* event) override {
    if (IsExitKey(event)) {
      owner_.StopReaderAndExit();
      return;
    }
    QComboBox::keyPressEvent(event);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == view() && event->type() == QEvent::KeyPress &&
        IsExitKey(static_cast<QKeyEvent*>(event))) {
      owner_.StopReaderAndExit();
      return true;
    }
    if (watched == popup_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
      // The list shows the box's selection when it opens and keeps it when it closes without a
      // choice.
      owner_.m_selectorCurSel.store(currentIndex(), std::memory_order_relaxed);
      owner_.m_selectorDropped.store(event->type() == QEvent::Show, std::memory_order_relaxed);
    }
    return QComboBox::eventFilter(watched, event);
  }

 private:
  CVellumView& owner_;
  QWidget* popup_ = nullptr;
  std::vector<QMetaObject::Connection> ties_;
};

// Steps shared by the pen's and the mouse's choice: clear the panel and draw the new picture.
void CVellumView::RepaintPicture(gdi::DC& dc) {
  const gdi::Region panel = PanelClearRegion(m_clientRect);
  if (m_brushWhite) dc.FillRgn(panel, *m_brushWhite);
  DrawTransducerPicture();
}

// The selector's dropped rectangle in screen coordinates: the creation rectangle's position and
// width, and the dropped-down extent as its height.
void CVellumView::MirrorDroppedRect() {
  const int32_t w = m_clientRect.right;
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  m_droppedLeft.store(origin.x() + w - kLeftFromRight, std::memory_order_relaxed);
  m_droppedTop.store(origin.y() + kTop, std::memory_order_relaxed);
  m_droppedRight.store(origin.x() + w - kRightFromRight, std::memory_order_relaxed);
  m_droppedBottom.store(origin.y() + kTop + kDroppedHeight, std::memory_order_relaxed);
}

void CVellumView::CreateSelector() {
  if (m_selector) return;
  auto* box = new SelectorBox(*this);
  box->setObjectName(QStringLiteral("transducerSelector"));
  for (const char* item : res::kSelectorItems) box->addItem(QString::fromLatin1(item));
  box->model()->sort(0);  // a sorted list; the texts are in order already
  const int32_t w = m_clientRect.right;
  box->setGeometry(w - kLeftFromRight, kTop, kLeftFromRight - kRightFromRight,
                   box->sizeHint().height());
  box->setCurrentIndex(vellum::SelectorIndex(m_transducer.load(std::memory_order_relaxed)));

  m_selectorCurSel.store(box->currentIndex(), std::memory_order_relaxed);
  m_selectorCount.store(box->count(), std::memory_order_relaxed);
  int itemHeight = box->view()->sizeHintForRow(0);
  if (itemHeight <= 0) itemHeight = box->fontMetrics().height();
  m_selectorItemHeight.store(itemHeight, std::memory_order_relaxed);

  box->StartMirroring();
  window()->installEventFilter(this);  // the top level moves: the dropped rectangle moves
  m_selector = box;
  MirrorDroppedRect();
  box->show();
}

bool CVellumView::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (m_selector && watched == window() && (type == QEvent::Move || type == QEvent::Show)) {
    MirrorDroppedRect();
  }
  return QWidget::eventFilter(watched, event);
}

void CVellumView::MeasureSelector() {
  m_selectorWidth = m_clientRect.right;
  m_selectorListHeight = m_selectorCount.load(std::memory_order_relaxed) *
                         m_selectorItemHeight.load(std::memory_order_relaxed);
  m_selectorDroppedRect = {m_droppedLeft.load(std::memory_order_relaxed),
                           m_droppedTop.load(std::memory_order_relaxed),
                           m_droppedRight.load(std::memory_order_relaxed),
                           m_droppedBottom.load(std::memory_order_relaxed)};
  m_selectorLatch = false;
}

void CVellumView::ShowSelector(bool visible) {
  if (!m_selector) return;
  if (!visible) m_selector->hidePopup();
  m_selector->setVisible(visible);
}

void CVellumView::SelectTransducer(int32_t index) {
  // The list has three items; anything else (no selection is -1) draws no picture.
  if (index < -2 || index > std::numeric_limits<int32_t>::max() - 2) return;
  if (m_transducer.load(std::memory_order_relaxed) == vellum::TransducerAt(index)) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  m_transducer.store(vellum::TransducerAt(index), std::memory_order_relaxed);
  dc.SelectObject(m_brushWhite.get());
  RepaintPicture(dc);
}

void CVellumView::OnSelectorChange() {
  if (!m_selector) return;
  const auto chosen = [this] { return vellum::TransducerAt(m_selector->currentIndex()); };
  if (m_transducer.load(std::memory_order_relaxed) == chosen()) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  m_transducer.store(chosen(), std::memory_order_relaxed);
  dc.SelectObject(m_brushWhite.get());
  RepaintPicture(dc);
  setFocus();  // so the function keys keep working after a choice in the list
}

void CVellumView::PenSelectorStep(int32_t code, vellum::Point pt) {
  if (code <= 0 || !m_selector) return;
  QComboBox* box = m_selector;
  // The pen's point is on the screen: so are the bounds, x and y alike, all taken from the
  // dropped rectangle (W - 145 to W - 20 in the client). Bounds from the client width alone
  // missed by the window's offset whenever the client was not at the screen's left edge.
  const gdi::RECT& dropped = m_selectorDroppedRect;
  const bool open = m_selectorDropped.load(std::memory_order_relaxed);

  // The drop-down button toggles the list once per press: the latch holds until the code
  // changes. Its column runs down the open list's right edge too, so a press there closes it.
  const int64_t buttonRight = dropped.right;
  if (!m_selectorLatch && InRange(pt.x, buttonRight - kButtonWidth, buttonRight) &&
      InRange(pt.y, dropped.top, dropped.bottom)) {
    if (open) {
      QMetaObject::invokeMethod(
          box, [box] { box->hidePopup(); }, Qt::QueuedConnection);
    } else {
      QMetaObject::invokeMethod(
          box, [box] { box->showPopup(); }, Qt::QueuedConnection);
    }
    m_selectorLatch = true;
    return;
  }

  const int64_t itemsTop = int64_t(dropped.top) + kFieldHeight;
  if (open && InRange(pt.x, dropped.left, buttonRight) &&
      InRange(pt.y, itemsTop, itemsTop + m_selectorListHeight)) {
    const int32_t s = m_selectorCurSel.load(std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        box, [box] { box->hidePopup(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        box, [box, s] { box->setCurrentIndex(s); }, Qt::QueuedConnection);
    SelectTransducer(s);
    QMetaObject::invokeMethod(
        this, [this] { setFocus(); }, Qt::QueuedConnection);
  }
}
