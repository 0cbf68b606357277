// CWindowCentring: opens a top-level window with its frame centred on an area
// (the screen's free area, or the window it belongs to). The frame's size is
// only known once the window manager has drawn it, after the window is shown,
// and no event says when; Qt's own placement guesses it, and the guess leaves
// the window off centre.
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <functional>

class QWidget;

class CWindowCentring : public QObject {
  Q_OBJECT

 public:
  // Watches `window` (which owns this object through Qt's parent): each time
  // it is shown its frame is centred on `area()`, in global coordinates, and
  // centred again once the window manager's frame turns out to differ. A
  // window larger than the area keeps its top left corner on it.
  CWindowCentring(QWidget* window, std::function<QRect()> area);

  // The screen's free area (without panels) of the screen `window` is on.
  static QRect ScreenArea(const QWidget* window);
  // `window`'s frame as the window manager has drawn it, in global coordinates.
  static QRect FrameOf(const QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QMargins Margins() const;
  void Centre();
  void LookForFrame();

  QWidget* m_window;
  std::function<QRect()> m_area;
  QMargins m_placedWith;  // the frame the last centring reckoned with
  QTimer m_frameWatch;
  int m_looksLeft = 0;
};
