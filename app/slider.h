// CSlider: the window's handle on one channel slider, a vertical QSlider with 0
// at the bottom. It raises Tracking (notification 1) each time the dragged
// thumb stands at a new value, with GetValue() already that value, and
// Committed (notification 2) when an operator's change is complete: thumb
// released at another value than it was picked up at, keyboard, wheel or a
// click on the groove. A value set by the program raises neither, nor does a
// thumb let go where it was taken. The wheel turns the slider only while it
// has the focus.
#pragma once

#include <QObject>
#include <cstdint>

class QSlider;

class CSlider : public QObject {
  Q_OBJECT

 public:
  // `slider` is owned by its window; the wrapper only drives it.
  explicit CSlider(QSlider* slider, QObject* parent = nullptr);

  void SetMin(int32_t value);
  void SetMax(int32_t value);
  // Property 10: the step of one arrow key press or wheel notch.
  void SetLineStep(int32_t step);
  int32_t GetValue() const;
  // Shows `value` within the range; raises no notification.
  void SetValue(int32_t value);

  QSlider* Widget() const { return m_slider; }

 signals:
  void Tracking();
  void Committed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnValueChanged();
  void OnReleased();

  QSlider* m_slider;
  bool m_programSet = false;
  int m_valueAtPress = 0;
};
